// The page's replays. Every game played on the page is recorded in the page's own memory
// (/replays); its replay is offered for download beside the picture when the game ends, and
// brought up to date whenever the player leaves the page. index.html?watch=URL watches a replay
// instead of playing, and so does a replay file dropped on the page. The keys that work the
// playback are the game's: Space pause, arrows or W A S D speed and jumps, R restart, Esc quit.
'use strict';
(function() {
  var query = new URLSearchParams(location.search);
  var DROPPED = 'zorvalen-dropped-replay';

  var link = document.createElement('a');
  link.id = 'replay-download';
  link.hidden = true;
  link.textContent = 'Download the replay of this game';
  link.style.cssText = 'color: #8cf; margin: 0 1em;';
  var canvas = document.getElementById('canvas');
  canvas.insertAdjacentElement('afterend', link);

  // The newest replay in the page's memory, as bytes and a name; null for none.
  function newestReplay() {
    var names;
    try {
      names = Module.FS.readdir('/replays').filter(function(name) { return /\.zvr$/.test(name); }).sort();
    } catch (error) {
      return null;
    }
    if (names.length == 0) return null;
    var name = names[names.length - 1];
    return {name: name, bytes: Module.FS.readFile('/replays/' + name)};
  }

  function offerReplay() {
    var replay = newestReplay();
    if (replay === null) return;
    if (link.href) URL.revokeObjectURL(link.href);
    link.href = URL.createObjectURL(new Blob([replay.bytes], {type: 'application/x-zorvalen-replay'}));
    link.download = replay.name;
    link.hidden = false;
  }

  function chain(name, after) {
    var before = Module[name];
    Module[name] = function(value) {
      if (before) before(value);
      after(value);
    };
  }
  chain('gameEnded', offerReplay);
  document.addEventListener('visibilitychange', function() { if (document.hidden) offerReplay(); });
  window.addEventListener('pagehide', offerReplay);

  // The test page: after a scripted play on the game's own loop, its replay goes to the console,
  // before the page says it is done.
  if (query.has('play')) {
    var finished = Module.replayFinished;
    Module.replayFinished = function(status) {
      var replay = newestReplay();
      var text = '';
      if (replay !== null)
        for (var i = 0; i < replay.bytes.length; i += 8192)
          text += String.fromCharCode.apply(null, replay.bytes.subarray(i, i + 8192));
      console.log('zorvalen-replay-file ' + (replay === null ? 'none' : btoa(text)));
      if (finished) finished(status);
    };
  }

  // A file dropped on the page is watched: it goes through the tab's own storage and a reload,
  // so that the game starts afresh on it.
  document.addEventListener('dragover', function(event) { event.preventDefault(); });
  document.addEventListener('drop', function(event) {
    event.preventDefault();
    var file = event.dataTransfer.files[0];
    if (!file) return;
    file.arrayBuffer().then(function(buffer) {
      var bytes = new Uint8Array(buffer), text = '';
      for (var i = 0; i < bytes.length; i += 8192) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
      try {
        sessionStorage.setItem(DROPPED, btoa(text));
      } catch (error) {
        console.warn('zorvalen: the dropped replay is too large to watch here');
        return;
      }
      location.search = '?watch=dropped';
    });
  });

  var watch = query.get('watch');
  if (!watch) return;
  Module.arguments = ['--replay', '/watch.zvr'];
  if (query.has('state')) {
    Module.arguments.push('--state');
    Module.print = function(text) { console.log('zorvalen-state ' + text); };
    Module.replayFinished = function(status) { console.log('zorvalen-done ' + status); };
  }
  Module.preRun = (Module.preRun || []).concat(function() {
    Module.addRunDependency('watched-replay');
    var bytes;
    if (watch == 'dropped' && sessionStorage.getItem(DROPPED) !== null) {
      var text = atob(sessionStorage.getItem(DROPPED));
      bytes = Promise.resolve(Uint8Array.from(text, function(c) { return c.charCodeAt(0); }));
    } else {
      bytes = fetch(watch).then(function(response) {
        if (!response.ok) throw new Error('cannot fetch ' + watch + ': ' + response.status);
        return response.arrayBuffer();
      }).then(function(buffer) { return new Uint8Array(buffer); });
    }
    bytes.then(function(data) {
      Module.FS.writeFile('/watch.zvr', data);
      Module.removeRunDependency('watched-replay');
    }).catch(function(error) {
      console.log('zorvalen-done failed: ' + error);
      document.getElementById('message').textContent = String(error);
    });
  });
})();

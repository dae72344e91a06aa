// The page's replays. Every game played on the page is recorded in the program's own memory
// (/replays); its replay is offered in a panel beside the picture when the game ends, and brought
// up to date whenever the player leaves the page. index.html?watch=URL watches a replay instead
// of playing, and so does a replay file dropped on the page. The keys that work the playback are
// the desktop's: Space pause, arrows or W A S D speed and jumps, R restart, Esc quit.
(function() {
  'use strict';
  var query = Zorvalen.query;
  var DROPPED = 'zorvalen-dropped-replay';

  var link = document.createElement('a');
  link.id = 'replay-download';
  link.className = 'replay';
  link.hidden = true;
  link.textContent = 'Download the replay of this game';
  document.getElementById('panels').appendChild(link);

  // The newest replay in the program's memory, as bytes and a name; null for none.
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

  // For the board's submit (board.js).
  Zorvalen.newestReplay = newestReplay;

  function offerReplay() {
    var replay = newestReplay();
    if (replay === null) return;
    if (link.href) URL.revokeObjectURL(link.href);
    link.href = URL.createObjectURL(new Blob([replay.bytes], {type: 'application/x-zorvalen-replay'}));
    link.download = replay.name;
    link.hidden = false;
  }

  function base64(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i += 8192) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
    return btoa(text);
  }

  Zorvalen.endListeners.push(offerReplay);
  document.addEventListener('visibilitychange', function() { if (document.hidden) offerReplay(); });
  window.addEventListener('pagehide', offerReplay);

  // The test page: after a scripted play on the game's own loop, its replay goes to the console,
  // before the page says it is done.
  if (query.has('play')) {
    var finished = Module.replayFinished;
    Module.replayFinished = function(status) {
      var replay = newestReplay();
      console.log('zorvalen-replay-file ' + (replay === null ? 'none' : base64(replay.bytes)));
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
      try {
        sessionStorage.setItem(DROPPED, base64(new Uint8Array(buffer)));
      } catch (error) {
        Zorvalen.say('This replay is too large to watch here.');
        return;
      }
      location.search = '?watch=dropped';
    });
  });

  var watch = query.get('watch');
  if (!watch) return;
  Module.arguments = ['--replay', '/watch.zvr'];
  if (query.has('state')) Module.arguments.push('--state');
  document.getElementById('play-again').textContent = 'Watch again';
  Zorvalen.endListeners.push(function(status) { if (status == 0 && !Zorvalen.scripted) Zorvalen.say('The replay has ended.'); });
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
  Zorvalen.files.push(bytes.then(function(data) {
    return [{name: 'watch.zvr', bytes: data}];
  }).catch(function(error) {
    console.log('zorvalen-done failed: ' + error);
    Zorvalen.say(String(error));
    return [];
  }));
})();

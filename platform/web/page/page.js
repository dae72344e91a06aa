// The page around the game: the program's settings (Module), the message over the picture, the
// hooks the page's other scripts add to (Zorvalen), full screen, playing again, and the service
// worker that keeps the page for offline play. Every feature of the page has a script of its
// own beside this one; each adds to Zorvalen's lists rather than to Module directly.
'use strict';

var Zorvalen = {
  query: new URLSearchParams(location.search),
  canvas: document.getElementById('canvas'),
  stage: document.getElementById('stage'),
  message: document.getElementById('message'),
  // Called after each frame the program shows (never to be taken out while it runs).
  frameListeners: [],
  // Called with 'keyboard', 'mouse', 'touch' or 'pad' when the player uses one.
  inputListeners: [],
  // Promises of files ([{name, bytes}]) written into the program's file system before it starts.
  files: [],
  // Called with the program's exit status when the game has ended.
  endListeners: [],

  // The page's line over the picture; null hides it.
  say: function(text) {
    delete Zorvalen.message.dataset.loading;
    Zorvalen.message.hidden = text === null;
    if (text !== null) Zorvalen.message.textContent = text;
  },
  inputUsed: function(kind) {
    for (var i = 0; i < Zorvalen.inputListeners.length; ++i) Zorvalen.inputListeners[i](kind);
  },
};
// A test page plays a script or writes down what it plays (testing.js): no worker, no buttons.
Zorvalen.scripted = ['replay', 'play', 'state'].some(function(name) { return Zorvalen.query.has(name); });

var Module = {
  canvas: Zorvalen.canvas,
  print: function(text) { console.log(text); },
  printErr: function(text) { console.warn(text); },
  framePresented: function() {
    for (var i = 0; i < Zorvalen.frameListeners.length; ++i) Zorvalen.frameListeners[i]();
  },
  inputUsed: Zorvalen.inputUsed,
  gameEnded: function(status) {
    for (var i = 0; i < Zorvalen.endListeners.length; ++i) Zorvalen.endListeners[i](status);
  },
  // The start's steps as performance marks (the stats page prints them): the program compiled
  // and instantiated, the files written, the game's first frame.
  preRun: [function() {
    performance.mark('zorvalen-instantiated');
    Module.addRunDependency('page-files');
    Promise.all(Zorvalen.files).then(function(groups) {
      performance.mark('zorvalen-files-ready');
      var late = [];
      groups.forEach(function(files) {
        files.forEach(function(file) {
          if (!file) return;
          // A file still on its way (assets.js): its stand-in now, its contents as they land.
          if (file.late && !file.landed) {
            if (file.kind == 'wav') Module._zorvalen_sound_awaited(file.bytes.length - file.header);
            else Module._zorvalen_picture_awaited(file.width, file.height);
            late.push(file);
          }
          Module.FS.writeFile('/' + file.name, file.late && file.landed ? file.landed.bytes : file.bytes);
        });
      });
      performance.mark('zorvalen-files-written');
      // The game has made its textures and sound buffers by now: it starts within this call, up
      // to its first frame.
      Module.removeRunDependency('page-files');
      var handOver = function(file, real) {
        Module.FS.writeFile('/' + file.name, real.bytes);
        var at = Module._malloc(real.bytes.length);
        if (!at) return;
        Module.HEAPU8.set(real.bytes, at);
        if (file.kind == 'wav') Module._zorvalen_sound_landed(at + file.header, real.bytes.length - file.header);
        else Module._zorvalen_picture_landed(at, real.bytes.length);
        Module._free(at);
      };
      var landed = function(kind, settled) {
        return Promise.all(late.filter(function(file) { return (file.kind == 'wav') == (kind == 'wav'); }).map(function(file) {
          return file.late.then(function(real) { if (real) handOver(file, real); });
        })).then(settled);
      };
      var sounds = landed('wav', function() { Module._zorvalen_sounds_settled(); });
      Module.zorvalenLatePictures = landed('picture', function() {
        Module._zorvalen_pictures_settled();
        performance.mark('zorvalen-pictures-landed');
      });
      if (late.length) Promise.all([sounds, Module.zorvalenLatePictures]).then(function() { Module._zorvalen_files_landed(); });
    });
  }],
};

// The first frame takes the place of "Loading".
Zorvalen.frameListeners.push(function() {
  if (Zorvalen.message.dataset.loading === undefined) return;
  performance.mark('zorvalen-first-frame');
  Zorvalen.say(null);
});

// The right button fires rockets: no menu over the game.
Zorvalen.stage.addEventListener('contextmenu', function(event) { event.preventDefault(); });

// Playing again is a fresh start, as a new page is: the game's one generator is never seeded, so
// only a new program plays the same game from the start. The worker serves it from the device.
(function() {
  var again = document.getElementById('play-again');
  again.addEventListener('click', function() { location.reload(); });
  Zorvalen.endListeners.push(function(status) {
    // A game that could not start has already said why.
    if (status != 0 || Zorvalen.scripted) return;
    Zorvalen.say('The game has ended.');
    again.hidden = false;
    again.focus();
  });
})();

// Full screen for the picture and what is drawn over it, where the browser has it (an iPhone
// gives it only to videos). Leaving it is the browser's own Escape or gesture.
(function() {
  var button = document.getElementById('fullscreen');
  var stage = Zorvalen.stage;
  var request = stage.requestFullscreen || stage.webkitRequestFullscreen;
  var enabled = document.fullscreenEnabled || document.webkitFullscreenEnabled;
  if (!request || !enabled || Zorvalen.scripted) return;
  button.hidden = false;
  var current = function() { return document.fullscreenElement || document.webkitFullscreenElement; };
  button.addEventListener('click', function() {
    if (current()) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
      return;
    }
    var asked = request.call(stage);
    // A phone turned sideways plays best; where the browser lets the page say so.
    var turn = function() {
      if (screen.orientation && screen.orientation.lock) screen.orientation.lock('landscape').catch(function() {});
    };
    if (asked && asked.then) asked.then(turn, function() {}); else turn();
  });
  var changed = function() { button.textContent = current() ? 'Leave full screen' : 'Full screen'; };
  document.addEventListener('fullscreenchange', changed);
  document.addEventListener('webkitfullscreenchange', changed);
})();

// The offline copy. Without a worker (an insecure address, a browser that refuses it) the page
// plays online as before.
(function() {
  if (Zorvalen.scripted || !('serviceWorker' in navigator)) return;
  var controlled = !!navigator.serviceWorker.controller;
  navigator.serviceWorker.addEventListener('controllerchange', function() {
    // A new version took over; this page keeps playing the one it loaded.
    if (controlled) {
      var note = document.createElement('p');
      note.className = 'note';
      note.textContent = 'A new version is ready: reload the page to play it.';
      document.getElementById('panels').appendChild(note);
    }
    controlled = true;
  });
  window.addEventListener('load', function() {
    navigator.serviceWorker.register('sw.js').catch(function(error) {
      console.warn('Zorvalen: no offline copy (' + error.message + '); the page plays online.');
    });
  });
})();

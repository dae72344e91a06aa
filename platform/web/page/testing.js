// The page for tests and measurements, chosen by the address:
//   ?replay=NAME[&shot=FRAME]      plays a script of the tests' own folder as the desktop's
//                                  replay runner does (and keeps the picture the device drew
//                                  of that frame);
//   ?play=NAME[&state][&shot=F]    runs the game's own paced loop on it (with each frame's
//                                  state line; the canvas as it shows that frame);
//   ?state                         the game for the player, with each frame's state line and
//                                  the input the devices gave it, as a script line;
//   ?stats                         the time to the first frame and the frames of each second.
// Everything goes to the console, a line each, for the test to read.
(function() {
  'use strict';
  var query = Zorvalen.query, canvas = Zorvalen.canvas;

  if (query.has('stats')) {
    var frames = 0, first = true;
    Zorvalen.frameListeners.push(function() {
      ++frames;
      // performance.now() counts from the start of the page's loading.
      if (first) {
        console.log('zorvalen-first-frame ' + performance.now().toFixed(0) + ' ms');
        // The start's steps, each in ms from the start of loading: the program's download, then
        // the page's marks in the order they came.
        var steps = [];
        performance.getEntriesByType('resource').forEach(function(entry) {
          if (/zorvalen\.wasm$|assets\.json$/.test(entry.name))
            steps.push(entry.name.replace(/^.*\//, '') + '-downloaded=' + entry.responseEnd.toFixed(0));
        });
        performance.getEntriesByType('mark').forEach(function(mark) {
          if (mark.name.startsWith('zorvalen-')) steps.push(mark.name.slice(9) + '=' + mark.startTime.toFixed(0));
        });
        console.log('zorvalen-start-steps ' + steps.join(' '));
      }
      first = false;
    });
    setInterval(function() { console.log('zorvalen-fps ' + frames); frames = 0; }, 1000);
  }
  if (!Zorvalen.scripted) return;

  Module.print = function(text) { console.log(text.startsWith('zorvalen-') ? text : 'zorvalen-state ' + text); };
  Module.replayFinished = function(status) {
    if (shot !== null) {
      try {
        var png = Module.FS.readFile('/shot.png');
        var text = '';
        for (var i = 0; i < png.length; i += 8192) text += String.fromCharCode.apply(null, png.subarray(i, i + 8192));
        console.log('zorvalen-shot ' + btoa(text));
      } catch (error) {
        console.log('zorvalen-shot none');
      }
    }
    console.log('zorvalen-done ' + status);
  };

  var shot = query.get('shot');
  if (query.has('state') && !query.has('play')) {
    Module.arguments = ['--state'];
    shot = null;
    return;
  }
  var scriptName = query.get('replay') || query.get('play');
  if (query.has('replay')) {
    Module.arguments = ['--state', '-'];
    if (shot !== null) Module.arguments.push('--shot', shot + ':/shot.png');
    Module.arguments.push('/replay-script.txt');
  } else {
    Module.arguments = ['--play', '/replay-script.txt'];
    if (query.has('state')) Module.arguments.push('--state');
    // The picture is taken from the canvas as it shows that frame, not from the program's files.
    var canvasShot = shot, presented = 0;
    shot = null;
    Zorvalen.frameListeners.push(function() {
      if (canvasShot !== null && presented++ == Number(canvasShot))
        console.log('zorvalen-shot ' + canvas.toDataURL('image/png').split(',')[1]);
    });
  }
  Zorvalen.files.push(fetch('scripts/' + scriptName).then(function(response) {
    if (!response.ok) throw new Error('no script ' + scriptName);
    return response.text();
  }).then(function(text) {
    return [{name: 'replay-script.txt', bytes: text}];
  }).catch(function(error) {
    console.log('zorvalen-done failed: ' + error);
    return [];
  }));
})();

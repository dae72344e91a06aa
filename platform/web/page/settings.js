// The settings panel beside the canvas: the keys of each action, the volume and mute, kept in
// localStorage as a settings file's text and handed to the same reader the desktop's file goes
// through (zorvalen_apply_settings), before the game starts and at every change.
'use strict';
(function() {
  var STORE = 'zorvalen.settings';
  var ACTIONS = [['up', 'Up'], ['down', 'Down'], ['left', 'Left'], ['right', 'Right'], ['fire', 'Fire'],
                 ['rocket', 'Rocket'], ['pause', 'Start, pause'], ['quit', 'Quit']];
  var DEFAULTS = {
    keys: {up: ['W', 'Up'], down: ['S', 'Down'], left: ['A', 'Left'], right: ['D', 'Right'], fire: ['MouseLeft'],
           rocket: ['MouseRight'], pause: ['Space'], quit: ['Escape']},
    sound: {master: 100, music: 100, effects: 100, mute: false},
  };
  var MOUSE = ['MouseLeft', 'MouseMiddle', 'MouseRight', 'Mouse4'];  // by MouseEvent.button
  var query = Zorvalen.query;
  var testing = Zorvalen.scripted;
  var ready = false;
  var state = JSON.parse(JSON.stringify(DEFAULTS));  // what the panel shows, as the game keeps it
  var capturing = null;  // {action, slot, button} while a key is awaited

  // Straight calls into the game, not ccall: the game's loop sits suspended between frames
  // (Asyncify), and ccall would take that for a call of its own that had not ended.
  function call(name, text) {
    if (text === undefined) return Module.UTF8ToString(Module['_' + name]());
    var size = Module.lengthBytesUTF8(text) + 1;
    var bytes = Module._malloc(size);
    Module.stringToUTF8(text, bytes, size);
    var answer = Module.UTF8ToString(Module['_' + name](bytes));
    Module._free(bytes);
    return answer;
  }

  function load() {
    try { return localStorage.getItem(STORE); } catch (error) { return null; }
  }
  function store(text) {
    try { localStorage.setItem(STORE, text); } catch (error) { /* a private window keeps nothing */ }
  }

  // The settings file's text for what the panel holds.
  function settingsText() {
    var lines = ['# Written by the page\'s settings panel.', '[controls]'];
    ACTIONS.forEach(function(action) {
      lines.push(action[0] + ' = [' + state.keys[action[0]].map(function(key) { return '"' + key + '"'; }).join(', ') + ']');
    });
    lines.push('[sound]');
    ['master', 'music', 'effects'].forEach(function(name) { lines.push(name + ' = ' + state.sound[name]); });
    lines.push('mute = ' + (state.sound.mute ? 'true' : 'false'));
    return lines.join('\n') + '\n';
  }

  function apply(text) {
    if (!ready) return '';
    var problems = call('zorvalen_apply_settings', text);
    if (problems) console.warn('settings: ' + problems.trim());
    // What the reader kept is what the panel shows: a refused entry is back at its default.
    state = JSON.parse(call('zorvalen_settings_json'));
    return problems;
  }

  var panel, message;

  function copy(value) { return JSON.parse(JSON.stringify(value)); }

  // A change the reader refuses is undone whole, so a slip never costs the keys chosen before.
  // `said` is what the change did beyond what the player chose, for the panel to say.
  function change(before, said) {
    var problems = apply(settingsText());
    if (problems && before) {
      state = before;
      apply(settingsText());
    }
    store(settingsText());
    // The reader's words for a file; here the change was simply not made.
    message.textContent = problems ? problems.trim().replace(/^line \d+: /gm, '').replace(/; [^;\n]* keeps its default$/gm, '')
                                   : said || '';
    draw();
  }

  function keyButton(action, slot) {
    var button = document.createElement('button');
    button.type = 'button';
    var key = state.keys[action][slot];
    var waiting = capturing && capturing.action === action && capturing.slot === slot;
    button.textContent = waiting ? 'press a key\u2026' : (key || '\u2014');
    button.className = waiting ? 'zv-key zv-waiting' : 'zv-key';
    button.addEventListener('click', function(event) {
      if (capturing) return;
      event.stopPropagation();
      capturing = {action: action, slot: slot};
      draw();
    });
    // Once it waits, a press of any mouse button on it is that button.
    button.addEventListener('mousedown', function(event) {
      if (!waiting) return;
      event.preventDefault();
      event.stopPropagation();
      take(MOUSE[event.button]);
    });
    button.addEventListener('contextmenu', function(event) { event.preventDefault(); });
    return button;
  }

  function labelOf(name) {
    return ACTIONS.find(function(action) { return action[0] === name; })[1];
  }

  // A key taken for one action leaves any other that had it, as a key serves one action: that
  // action keeps its other key, or none, and the panel says so. It is never handed a key the
  // player did not choose for it (the key replaced here might be the mouse's left button).
  function take(name) {
    var at = capturing;
    capturing = null;
    var before = copy(state);
    var said = [];
    if (name) {
      var keys = state.keys[at.action].slice();
      ACTIONS.forEach(function(action) {
        var had = state.keys[action[0]];
        if (action[0] === at.action || had.indexOf(name) < 0) return;
        var left = had.filter(function(key) { return key !== name; });
        state.keys[action[0]] = left;
        said.push(action[1] + ': ' + (left.length ? 'only ' + left.join(', ') : 'no key') + ' \u2014 ' + name +
                  ' went to ' + labelOf(at.action));
      });
      keys[at.slot] = name;
      state.keys[at.action] = keys.filter(function(key, i) { return key && keys.indexOf(key) === i; });
    }
    change(before, said.join('\n'));
  }

  // The help line beside the picture, for the keys in force.
  function keyWord(name) {
    return {MouseLeft: 'left button', MouseRight: 'right button', MouseMiddle: 'middle button',
            Mouse4: 'mouse button 4', Escape: 'Esc'}[name] || name;
  }
  function describeKeys(action, does) {
    return state.keys[action].length ? state.keys[action].map(keyWord).join(' or ') + ': ' + does : does + ': no key';
  }
  function describeHelp() {
    var help = document.getElementById('help');
    if (!help) return;
    var moves = ['up', 'left', 'down', 'right'];
    var slot = function(i) {
      var keys = moves.map(function(action) { return state.keys[action][i]; });
      return keys.every(Boolean) ? keys.join(' ') : null;
    };
    var first = slot(0), second = slot(1);
    if (second === 'Up Left Down Right') second = 'arrows';
    var parts = [describeKeys('pause', 'start')];
    if (first) parts.push(first + (second ? ' or ' + second : '') + ': move');
    else moves.forEach(function(action) { parts.push(describeKeys(action, action)); });
    parts.push('mouse: aim', describeKeys('fire', 'fire'), describeKeys('rocket', 'rocket'), describeKeys('quit', 'quit'));
    help.textContent = 'Click the picture first. ' + parts.join(' \u00b7 ');
  }

  function draw() {
    describeHelp();
    if (!panel) return;
    var rows = panel.querySelector('.zv-actions');
    rows.replaceChildren.apply(rows, ACTIONS.map(function(action) {
      var row = document.createElement('div');
      row.className = 'zv-row';
      var label = document.createElement('span');
      label.textContent = action[1];
      row.append(label, keyButton(action[0], 0), keyButton(action[0], 1));
      if (state.keys[action[0]].length > 1) {
        var clear = document.createElement('button');
        clear.type = 'button';
        clear.className = 'zv-clear';
        clear.title = 'Only the first key';
        clear.textContent = '\u00d7';
        clear.addEventListener('click', function() {
          var before = copy(state);
          state.keys[action[0]] = state.keys[action[0]].slice(0, 1);
          change(before);
        });
        row.append(clear);
      }
      return row;
    }));
    ['master', 'music', 'effects'].forEach(function(name) {
      panel.querySelector('[name=' + name + ']').value = state.sound[name];
    });
    panel.querySelector('[name=mute]').checked = state.sound.mute;
  }

  function build() {
    var toggle = document.createElement('button');
    toggle.type = 'button';
    toggle.id = 'settings-toggle';
    toggle.textContent = 'Settings';
    panel = document.createElement('div');
    panel.id = 'zv-settings';
    panel.hidden = true;
    panel.innerHTML =
      '<h2>Keys</h2><p class="zv-hint">Click a key, then press the key or mouse button to use.</p>' +
      '<div class="zv-actions"></div><h2>Sound</h2>' +
      '<label>Master <input type="range" name="master" min="0" max="100" step="1"></label>' +
      '<label>Music <input type="range" name="music" min="0" max="100" step="1"></label>' +
      '<label>Effects <input type="range" name="effects" min="0" max="100" step="1"></label>' +
      '<label class="zv-mute"><input type="checkbox" name="mute"> Mute</label>' +
      '<p class="zv-message" role="status"></p>' +
      '<button type="button" class="zv-reset">Back to the defaults</button>';
    message = panel.querySelector('.zv-message');
    panel.addEventListener('input', function(event) {
      var name = event.target.name;
      var before = copy(state);
      if (name === 'mute') state.sound.mute = event.target.checked;
      else if (name in state.sound) state.sound[name] = Number(event.target.value);
      else return;
      change(before);
    });
    panel.querySelector('.zv-reset').addEventListener('click', function() {
      state = copy(DEFAULTS);
      change(null);
    });
    toggle.addEventListener('click', function() {
      panel.hidden = !panel.hidden;
      if (!panel.hidden && ready) state = JSON.parse(call('zorvalen_settings_json'));
      draw();
    });
    // Beside the page's other buttons, and the panel in the column's place for panels: never over
    // the picture, where the touch controls are.
    document.getElementById('buttons').append(toggle);
    document.getElementById('panels').append(panel);
    draw();
  }

  // A key pressed for the panel is the panel's: the game, listening further on, never sees it.
  window.addEventListener('keydown', function(event) {
    if (!capturing) return;
    event.preventDefault();
    event.stopImmediatePropagation();
    take(ready ? call('zorvalen_key_name', event.code) : null);
  }, true);
  window.addEventListener('keyup', function(event) {
    if (capturing) event.stopImmediatePropagation();
  }, true);
  // A click anywhere else while a key is awaited changes nothing.
  document.addEventListener('mousedown', function() {
    if (capturing) { capturing = null; draw(); }
  });

  // Before the game's main runs: the stored settings, or (on the test page) a file to store first.
  var started = Module.onRuntimeInitialized;
  Module.onRuntimeInitialized = function() {
    ready = true;
    var text = load();
    if (text !== null && (!testing || query.has('settings'))) apply(text);
    state = JSON.parse(call('zorvalen_settings_json'));
    draw();
    if (started) started();
  };
  if (testing && query.has('settings')) {
    // Stored before the program starts, as a player's earlier visit would have left it.
    Zorvalen.files.push(fetch('settings/' + query.get('settings')).then(function(response) {
      if (!response.ok) throw new Error('no settings ' + query.get('settings'));
      return response.text();
    }).then(function(text) {
      store(text);
      return [];
    }).catch(function(error) {
      console.log('zorvalen-done failed: ' + error);
      return [];
    }));
  }
  // The scripts load at the end of the body: the page's elements are there.
  if (!testing) build();
})();

// The touch controls, drawn by the page over the picture (never into it), shown from the first
// touch and hidden while a keyboard, a mouse or a pad is used:
//   - the left half: a move stick that floats to where the thumb lands; the program reads it
//     as a pad's left stick (the same dead zone and eight sectors give W, A, S, D);
//   - the right half: dragging moves the crosshair as mouse counts, and holding fires;
//   - by the right thumb, a rocket button and a start/pause button.
// Each finger keeps the part it landed on until it lifts; a finger that leaves the page, or a
// page that loses the screen, lets go of everything. The program gets it all as the devices'
// events (platform/web/dinput.cpp). On a touch screen the first tap also starts the sound, and
// starts the game from its title.
(function() {
  'use strict';
  var stage = Zorvalen.stage, layer = document.getElementById('touch');
  // Thumb travel, in CSS pixels, that pushes the stick all the way.
  var STICK_REACH = 48;
  // Crosshair pixels per pixel of the picture the aiming thumb crosses: the right half of the
  // picture then reaches across the whole of it.
  var AIM_GAIN = 2;

  var base = element('stick'), knob = element('knob'), rocket = element('button rocket', 'Rocket'),
      start = element('button start', 'Start'), tap = element('tap', 'Tap to start');
  base.appendChild(knob);
  base.hidden = true;
  tap.hidden = true;
  var fingers = {};  // touch identifier: {part, x, y, and for the aim the counts' fractions}
  var shown = false;

  function element(kind, label) {
    var made = document.createElement('div');
    made.className = kind;
    if (label) made.textContent = label;
    layer.appendChild(made);
    return made;
  }

  function call(name) {
    var exported = Module['_' + name];
    if (exported) exported.apply(null, Array.prototype.slice.call(arguments, 1));
  }

  function show(showing) {
    if (showing == shown) return;
    if (!showing) letGoOfAll();
    shown = showing;
    layer.hidden = !showing;
  }

  function inside(element, touch) {
    var box = element.getBoundingClientRect(), margin = 8;
    return touch.clientX >= box.left - margin && touch.clientX <= box.right + margin &&
           touch.clientY >= box.top - margin && touch.clientY <= box.bottom + margin;
  }

  function partFor(touch) {
    if (!tap.hidden) return 'tap';
    if (inside(rocket, touch)) return 'rocket';
    if (inside(start, touch)) return 'start';
    var box = stage.getBoundingClientRect();
    var part = touch.clientX < box.left + box.width / 2 ? 'stick' : 'aim';
    for (var id in fingers) if (fingers[id].part == part) return 'none';  // one thumb to each
    return part;
  }

  function press(finger) {
    switch (finger.part) {
      case 'tap':
        // Until the game runs there is nothing to start, nor any sound.
        if (!Module.calledRun) { finger.part = 'none'; break; }
        tap.hidden = true;
        call('zorvalen_touch_start', 1);
        break;
      case 'start': start.classList.add('held'); call('zorvalen_touch_start', 1); break;
      case 'rocket': rocket.classList.add('held'); call('zorvalen_touch_button', 1, 1); break;
      case 'aim': call('zorvalen_touch_button', 0, 1); break;
      case 'stick':
        var box = stage.getBoundingClientRect();
        base.style.left = finger.x - box.left + 'px';
        base.style.top = finger.y - box.top + 'px';
        knob.style.transform = '';
        base.hidden = false;
        break;
    }
  }

  function letGo(finger) {
    switch (finger.part) {
      case 'tap': case 'start': start.classList.remove('held'); call('zorvalen_touch_start', 0); break;
      case 'rocket': rocket.classList.remove('held'); call('zorvalen_touch_button', 1, 0); break;
      case 'aim': call('zorvalen_touch_button', 0, 0); break;
      case 'stick': base.hidden = true; call('zorvalen_touch_stick', 0, 0); break;
    }
  }

  function letGoOfAll() {
    for (var id in fingers) letGo(fingers[id]);
    fingers = {};
  }

  function move(finger, touch) {
    if (finger.part == 'stick') {
      var dx = touch.clientX - finger.x, dy = touch.clientY - finger.y;
      var length = Math.sqrt(dx * dx + dy * dy);
      if (length > STICK_REACH) { dx *= STICK_REACH / length; dy *= STICK_REACH / length; }
      knob.style.transform = 'translate(' + dx + 'px, ' + dy + 'px)';
      call('zorvalen_touch_stick', Math.round(dx / STICK_REACH * 32767), Math.round(dy / STICK_REACH * 32767));
    } else if (finger.part == 'aim') {
      var per = AIM_GAIN / Zorvalen.pictureScale;
      finger.fx += (touch.clientX - finger.lastX) * per;
      finger.fy += (touch.clientY - finger.lastY) * per;
      finger.lastX = touch.clientX;
      finger.lastY = touch.clientY;
      var countsX = Math.trunc(finger.fx), countsY = Math.trunc(finger.fy);
      finger.fx -= countsX;
      finger.fy -= countsY;
      if (countsX || countsY) call('zorvalen_touch_motion', countsX, countsY);
    }
  }

  // Only touches on the picture and its controls are the game's: everything beside it (the
  // page's buttons, links and panels) keeps the browser's taps, clicks and scrolling.
  function isGames(event) {
    return stage.contains(event.target);
  }

  function began(event) {
    if (!isGames(event)) return;
    event.preventDefault();  // no scrolling, zooming, selecting, nor mouse events made of touches
    call('zorvalen_user_gesture');
    Zorvalen.inputUsed('touch');
    for (var i = 0; i < event.changedTouches.length; ++i) {
      var touch = event.changedTouches[i];
      var finger = {part: partFor(touch), x: touch.clientX, y: touch.clientY, lastX: touch.clientX,
                    lastY: touch.clientY, fx: 0, fy: 0};
      fingers[touch.identifier] = finger;
      press(finger);
    }
  }

  function moved(event) {
    if (!shown || !isGames(event)) return;
    event.preventDefault();
    for (var i = 0; i < event.changedTouches.length; ++i) {
      var finger = fingers[event.changedTouches[i].identifier];
      if (finger) move(finger, event.changedTouches[i]);
    }
  }

  function ended(event) {
    // Browsers start sound from the end of a touch, not its start: a tap on a button counts too.
    call('zorvalen_user_gesture');
    // Cancelling the end of a touch on a button would cancel its click.
    if (!shown || !isGames(event)) return;
    event.preventDefault();
    for (var i = 0; i < event.changedTouches.length; ++i) {
      var id = event.changedTouches[i].identifier;
      if (fingers[id]) letGo(fingers[id]);
      delete fingers[id];
    }
  }

  var options = {passive: false};
  document.addEventListener('touchstart', began, options);
  document.addEventListener('touchmove', moved, options);
  document.addEventListener('touchend', ended, options);
  document.addEventListener('touchcancel', ended, options);
  window.addEventListener('blur', letGoOfAll);
  document.addEventListener('visibilitychange', function() { if (document.hidden) letGoOfAll(); });

  // Any other way of playing hides the controls until the next touch.
  Zorvalen.inputListeners.push(function(kind) { show(kind == 'touch'); });
  window.addEventListener('keydown', function() { Zorvalen.inputUsed('keyboard'); });
  window.addEventListener('pointermove', function(event) { if (event.pointerType == 'mouse') Zorvalen.inputUsed('mouse'); });
  window.addEventListener('pointerdown', function(event) { if (event.pointerType == 'mouse') Zorvalen.inputUsed('mouse'); });

  // A touch screen's first tap starts the sound, which the browser allows only from a gesture,
  // and the game from its title.
  if (!Zorvalen.scripted && window.matchMedia && matchMedia('(pointer: coarse)').matches) {
    tap.hidden = false;
    show(true);
  }
})();

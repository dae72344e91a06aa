// The picture as large as the page lets it be, its 4:3 kept, with the desktop scaler's look:
// at a whole multiple of the display's pixels every pixel is copied exactly; at any other size
// it is first enlarged by whole pixels to the multiple at or above that size, then smoothed
// down to it (sharp-bilinear), which blends only the edges between pixels. The first step is
// a canvas of its own (#sharp), drawn from the game's after each frame; the second is the
// browser's own smoothing.
(function() {
  'use strict';
  var canvas = Zorvalen.canvas, sharp = document.getElementById('sharp'), stage = Zorvalen.stage;
  var WIDTH = 800, HEIGHT = 600;
  // Giving up this much of the size to show whole pixels beats blending them.
  var WHOLE_ENOUGH = 1.04;
  var context = null;

  // CSS pixels per picture pixel, for the touch controls' aim.
  Zorvalen.pictureScale = 1;

  function place(element, scale) {
    element.style.width = WIDTH * scale + 'px';
    element.style.height = HEIGHT * scale + 'px';
  }

  function fit() {
    var box = stage.getBoundingClientRect();
    if (box.width <= 0 || box.height <= 0) return;
    var ratio = window.devicePixelRatio || 1;
    var scale = Math.min(box.width / WIDTH, box.height / HEIGHT);
    var device = scale * ratio, whole = Math.floor(device);
    var exact = whole >= 1 && device / whole < WHOLE_ENOUGH;
    if (exact || device <= 1) {
      // Smaller than the picture, smoothing down is all there is to it.
      if (exact) scale = whole / ratio;
      context = null;
      sharp.hidden = true;
      canvas.style.visibility = '';
      canvas.style.imageRendering = exact ? '' : 'auto';
    } else {
      var factor = Math.ceil(device);
      if (sharp.width != WIDTH * factor) {
        sharp.width = WIDTH * factor;
        sharp.height = HEIGHT * factor;
      }
      context = sharp.getContext('2d', {alpha: false});
      context.imageSmoothingEnabled = false;
      sharp.hidden = false;
      canvas.style.visibility = 'hidden';
      place(sharp, scale);
      enlarge();
    }
    place(canvas, scale);
    Zorvalen.pictureScale = scale;
  }

  function enlarge() {
    if (context) context.drawImage(canvas, 0, 0, sharp.width, sharp.height);
  }

  Zorvalen.frameListeners.push(enlarge);
  window.addEventListener('resize', fit);
  window.addEventListener('orientationchange', fit);
  document.addEventListener('fullscreenchange', fit);
  document.addEventListener('webkitfullscreenchange', fit);
  if (window.ResizeObserver) new ResizeObserver(fit).observe(stage);
  fit();
})();

// Submitting the game just played to a board, when the page is served by one (a board answers
// GET /api/v1/board with its ranking): a button beside the replay's link sends the replay, asks
// for a name the first time (kept for the next), then asks the board after the run until it is
// verified, with its rank and a link to watch it, or rejected, with why. Names and the board's
// words go into the page as text only.
(function() {
  'use strict';
  var NAME_KEY = 'zorvalen-board-name';
  var WAIT_MS = 60000, POLL_MS = 500;

  var box = document.createElement('div');
  box.id = 'board-submit';
  box.className = 'board';
  box.hidden = true;
  var button = document.createElement('button');
  button.type = 'button';
  button.textContent = 'Submit to the board';
  var result = document.createElement('p');
  result.className = 'board-result';
  box.appendChild(button);
  box.appendChild(result);
  document.getElementById('panels').appendChild(box);

  function json(response) {
    return response.json().catch(function() { return {}; }).then(function(body) {
      return {ok: response.ok, status: response.status, body: body};
    });
  }

  function show(text, href) {
    result.textContent = text;
    if (href) {
      var a = document.createElement('a');
      a.href = href;
      a.textContent = 'Watch it';
      result.appendChild(document.createTextNode(' '));
      result.appendChild(a);
    }
  }

  function rankOf(runId) {
    return fetch('/api/v1/board?around=' + encodeURIComponent(runId)).then(json).then(function(answer) {
      var items = (answer.body && answer.body.items) || [];
      for (var i = 0; i < items.length; ++i) if (items[i].run_id === runId) return items[i].rank;
      return null;
    }).catch(function() { return null; });
  }

  function poll(statusUrl, until) {
    return fetch(statusUrl).then(json).then(function(answer) {
      var run = answer.body || {};
      if (run.status === 'verified') {
        return rankOf(run.run_id).then(function(rank) {
          show('Verified' + (rank ? ': rank ' + rank : '') + '.', run.watch_url);
        });
      }
      if (run.status === 'rejected') return show('Rejected: ' + (run.reason || 'the board gave no reason'));
      if (Date.now() > until) return show('Sent; the board has not verified it yet.');
      return new Promise(function(resolve) { setTimeout(resolve, POLL_MS); }).then(function() {
        return poll(statusUrl, until);
      });
    });
  }

  function submit() {
    var replay = Zorvalen.newestReplay();
    if (replay === null) return;
    var name = localStorage.getItem(NAME_KEY);
    if (!name) {
      name = (window.prompt('Your name on the board (1 to 24 letters, digits, spaces and -_.\')') || '').trim();
      if (!name) return;
      localStorage.setItem(NAME_KEY, name);
    }
    button.disabled = true;
    show('Sending...');
    fetch('/api/v1/runs?name=' + encodeURIComponent(name), {
      method: 'POST', headers: {'Content-Type': 'application/octet-stream'}, body: replay.bytes,
    }).then(json).then(function(answer) {
      if (!answer.ok) {
        // A name the board refuses is asked again next time.
        if (answer.status == 422) localStorage.removeItem(NAME_KEY);
        return show('Refused: ' + (answer.body.error || answer.body.message || 'HTTP ' + answer.status));
      }
      show('Verifying...');
      return poll(answer.body.status_url || '/api/v1/runs/' + encodeURIComponent(answer.body.run_id),
                  Date.now() + WAIT_MS);
    }).catch(function(error) {
      show('The board cannot be reached: ' + error);
    }).then(function() { button.disabled = false; });
  }
  button.addEventListener('click', submit);

  // Offered only where the page came from a board, and only once a game has ended: the board is
  // asked then, so that a page served by anything else asks nothing more than its files.
  var board = null;
  Zorvalen.endListeners.push(function() {
    if (Zorvalen.query.has('watch') || Zorvalen.scripted) return;
    board = board || fetch('/api/v1/board?limit=1').then(function(response) {
      if (!response.ok) return false;
      return response.json().then(function(body) { return Array.isArray(body.items); });
    }).catch(function() { return false; });
    board.then(function(served) {
      if (!served) return;
      result.textContent = '';
      box.hidden = false;
    });
  });
})();

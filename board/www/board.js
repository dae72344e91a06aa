// The board's page: the ranked runs, a page at a time. Every name and value goes in as text,
// never as markup (the page's policy allows no inline script either).
'use strict';
(function() {
  var PAGE = 25;
  var body = document.querySelector('#runs tbody');
  var status = document.getElementById('status');
  var nextButton = document.getElementById('next');
  var firstButton = document.getElementById('first');
  var playerInput = document.getElementById('player');
  var nextCursor = null;
  var player = '';

  var RECORDERS = {desktop: 'desktop', page: 'browser', windows: 'Windows', runner: 'replay tool'};

  function cell(row, text, className) {
    var td = document.createElement('td');
    td.textContent = text;
    if (className) td.className = className;
    row.appendChild(td);
    return td;
  }

  function link(parent, text, href, download) {
    var a = document.createElement('a');
    a.textContent = text;
    a.href = href;
    if (download) a.setAttribute('download', '');
    parent.appendChild(a);
  }

  function when(iso) {
    var date = new Date(iso);
    return isNaN(date) ? '' : date.toLocaleString();
  }

  function show(items) {
    body.textContent = '';
    items.forEach(function(run) {
      var row = document.createElement('tr');
      cell(row, String(run.rank), 'number');
      cell(row, run.player);
      cell(row, String(run.score), 'number');
      cell(row, String(run.level), 'number');
      cell(row, run.length, 'number');
      cell(row, RECORDERS[run.recorded_by] || run.recorded_by);
      cell(row, when(run.verified_at));
      var actions = cell(row, '', 'actions');
      link(actions, 'Watch', run.watch_url, false);
      link(actions, 'Download', run.replay_url + '?download=1', true);
      body.appendChild(row);
    });
  }

  function load(cursor) {
    var query = new URLSearchParams({limit: String(PAGE)});
    if (cursor) query.set('cursor', cursor);
    if (player) query.set('player', player);
    status.textContent = 'Loading…';
    fetch('/api/v1/board?' + query.toString()).then(function(response) {
      if (!response.ok) throw new Error('the board answered ' + response.status);
      return response.json();
    }).then(function(page) {
      show(page.items);
      nextCursor = page.next_cursor;
      nextButton.disabled = !nextCursor;
      firstButton.disabled = !cursor;
      status.textContent = page.items.length ? '' : (player ? 'No runs by ' + player + ' yet.' : 'No runs yet.');
    }).catch(function(error) {
      status.textContent = 'The board cannot be read: ' + error.message;
    });
  }

  document.getElementById('filter').addEventListener('submit', function(event) {
    event.preventDefault();
    player = playerInput.value.trim();
    load(null);
  });
  document.getElementById('everyone').addEventListener('click', function() {
    playerInput.value = '';
    player = '';
    load(null);
  });
  nextButton.addEventListener('click', function() { if (nextCursor) load(nextCursor); });
  firstButton.addEventListener('click', function() { load(null); });
  load(null);
})();

// The bench page's programs: per channel the run it has or last had, from
// /programs polled like the bench's state; the program's set point handed
// to the trend (bench_page.js draws it over the channel's chart); and, for
// whom the settings form is offered, hold, resume and abort, each asked
// again before it is sent.
'use strict';

(function () {
  const POLL_MS = 1000;
  const ANSWER_MS = 2000;
  const CHANNELS = 4;
  // The states in which a program still drives its channel's set point.
  const DRIVING = ['running', 'holding_back', 'held'];
  const COMMANDS = [
    // [path, caption, the states it applies to, what was done]
    ['hold', 'Hold', ['running', 'holding_back'], 'held'],
    ['resume', 'Resume', ['held'], 'resumed'],
    ['abort', 'Abort', DRIVING, 'aborted'],
  ];

  const section = document.getElementById('programs');
  const result = document.getElementById('programs-result');
  const rows = new Map(); // channel: its row in the table
  const runs = new Map(); // channel: its run, as /programs last gave it
  let mayCommand = false;

  function text(id, value) {
    document.getElementById(id).textContent = value;
  }

  function timeLeft(seconds) {
    if (seconds === null || seconds === undefined)
      return '--';
    const whole = Math.max(0, Math.round(seconds));
    const two = n => String(n).padStart(2, '0');
    return Math.floor(whole / 3600) + ':' + two(Math.floor(whole / 60) % 60) + ':' + two(whole % 60);
  }

  function stateText(run) {
    const state = run.state.replace(/_/g, ' ');
    return run.state === 'aborted' && run.reason_text ? state + ': ' + run.reason_text : state;
  }

  async function command(channel, path, done) {
    const run = runs.get(channel);
    if (!run || !window.confirm(path[0].toUpperCase() + path.slice(1) + ' program ' + run.program + ' on TEMP' +
                                channel + '?'))
      return;
    result.className = '';
    result.textContent = 'Sending…';
    try {
      const reply = await fetch('/programs/' + encodeURIComponent(run.id) + '/' + path,
                                { method: 'POST', cache: 'no-store',
                                  headers: { 'Content-Type': 'application/json' }, body: '{}' });
      const answer = await reply.json();
      if (reply.ok) {
        result.className = 'done';
        result.textContent = 'Program ' + run.program + ' on TEMP' + channel + ' ' + done + '.';
      } else {
        result.className = 'failed';
        result.textContent = 'Not done (' + reply.status + '): ' + answer.error + '.';
      }
    } catch (error) {
      result.className = 'failed';
      result.textContent = 'No answer from serve: ' + error.message + '.';
    }
    poll();
  }

  function rowFor(channel) {
    if (rows.has(channel))
      return rows.get(channel);
    const row = document.createElement('tr');
    row.innerHTML =
      '<th scope="row">TEMP' + channel + '</th>' +
      '<td id="program-name-' + channel + '"></td>' +
      '<td id="program-state-' + channel + '"></td>' +
      '<td class="value" id="program-segment-' + channel + '"></td>' +
      '<td class="value" id="program-setpoint-' + channel + '"></td>' +
      '<td class="value" id="program-left-' + channel + '"></td>' +
      '<td class="program-commands" hidden></td>';
    const buttons = row.lastChild;
    for (const [path, caption, , done] of COMMANDS) {
      const button = document.createElement('button');
      button.type = 'button';
      button.id = 'program-' + path + '-' + channel;
      button.textContent = caption;
      button.addEventListener('click', () => command(channel, path, done));
      buttons.appendChild(button);
    }
    // In channel order, whichever came first.
    const after = [...rows.keys()].filter(ch => ch > channel).sort((a, b) => a - b)[0];
    section.querySelector('tbody').insertBefore(row, after === undefined ? null : rows.get(after));
    rows.set(channel, row);
    return row;
  }

  function showRun(run) {
    const ch = run.channel;
    rowFor(ch);
    runs.set(ch, run);
    text('program-name-' + ch, run.program);
    text('program-state-' + ch, stateText(run));
    text('program-segment-' + ch, String(run.segment));
    text('program-setpoint-' + ch, run.setpoint_celsius === null ? '--' : run.setpoint_celsius.toFixed(1));
    text('program-left-' + ch, timeLeft(run.remaining_seconds));
    for (const [path, , states] of COMMANDS)
      document.getElementById('program-' + path + '-' + ch).hidden = !states.includes(run.state);
  }

  function showCommands() {
    for (const cell of section.querySelectorAll('.program-commands'))
      cell.hidden = !mayCommand;
  }

  async function poll() {
    let status;
    try {
      const reply = await fetch('/programs', { cache: 'no-store', signal: AbortSignal.timeout(ANSWER_MS) });
      if (!reply.ok)
        return;
      status = await reply.json();
    } catch (error) {
      return; // bench_page.js already says serve is not reachable
    }
    const setpoints = window.benchPage.programSetpoints;
    for (let ch = 1; ch <= CHANNELS; ch++)
      setpoints[ch - 1] = null;
    const shown = new Set(status.channels.map(run => run.channel));
    for (const [ch, row] of rows) {
      if (!shown.has(ch)) { // serve started again without it
        row.remove();
        rows.delete(ch);
        runs.delete(ch);
      }
    }
    for (const run of status.channels) {
      showRun(run);
      if (DRIVING.includes(run.state) && run.setpoint_celsius !== null)
        setpoints[run.channel - 1] = run.setpoint_celsius;
    }
    showCommands();
    section.hidden = status.channels.length === 0;
  }

  document.addEventListener('benchaccess', event => {
    mayCommand = event.detail.writable;
    showCommands();
  });
  function schedule() {
    setTimeout(() => poll().finally(schedule), POLL_MS);
  }
  poll().finally(schedule);
})();

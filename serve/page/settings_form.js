// The bench page's settings form and "Changes": shown when serve says this
// user may write here (an operator, over TLS); otherwise the page says why
// it only reads. A write repeats what it will write and waits for a
// confirmation, then shows the settings as read back, or the reason.
'use strict';

(function () {
  const form = document.getElementById('settings-form');
  const confirmBox = document.getElementById('settings-confirm');
  const result = document.getElementById('settings-result');
  const channel = document.getElementById('settings-channel');
  const setTemp = document.getElementById('settings-temp');
  const output = document.getElementById('settings-output');
  let pending = null;

  function show(id, visible) {
    document.getElementById(id).hidden = !visible;
  }

  // SET TEMP and OUTPUT ENABLE from the channel's last reading, as the
  // panel fills them when a channel is chosen.
  function fillFromReading() {
    const ch = channel.value;
    const temp = document.getElementById('set-temperature-' + ch).textContent.trim();
    const enable = document.getElementById('output-enable-' + ch).textContent.trim();
    setTemp.value = temp === '--' ? '' : temp;
    output.value = enable === 'ENABLE' || enable === 'DISABLE' ? enable : '';
  }

  // A command to a program has no settings: what was asked stands where
  // a write's settings would.
  function showChanges(changes) {
    const body = document.querySelector('#changes tbody');
    body.replaceChildren();
    // A refused write that asked for one setting has the other as null.
    const settings = s => s === null ? '--' :
      (s.set_temperature === null ? 'set temperature as it is' : s.set_temperature + ' °C') + ', ' +
      (s.output_enable === null ? 'output enable as it is' :
       s.output_enable === 1 ? 'ENABLE' : s.output_enable === 0 ? 'DISABLE' : s.output_enable);
    for (const change of changes) {
      const row = document.createElement('tr');
      for (const cell of [new Date(change.time * 1000).toLocaleString(), change.user, change.client,
                          change.channel ? 'TEMP' + change.channel : '--', settings(change.before),
                          change.action || settings(change.written), settings(change.after),
                          change.outcome]) {
        const td = document.createElement('td');
        td.textContent = cell;
        row.appendChild(td);
      }
      body.appendChild(row);
    }
    show('changes', true);
  }

  async function refresh() {
    let access;
    try {
      const reply = await fetch('/settings', { cache: 'no-store' });
      if (!reply.ok)
        return;
      access = await reply.json();
    } catch (error) {
      return;
    }
    // The programs' commands are offered to whom the form is.
    document.dispatchEvent(new CustomEvent('benchaccess', { detail: access }));
    // The page says once that it only reads (#read-only); this note adds why.
    document.getElementById('read-only').hidden = access.writable;
    const note = document.getElementById('access');
    note.textContent = access.writable ? 'You are ' + access.user + ', an operator: you may change settings here.'
                                       : 'Why: ' + access.why_not + '.';
    note.hidden = false;
    if (access.writable && form.hidden) {
      form.hidden = false;
      fillFromReading();
    }
    if (access.user)
      showChanges(access.changes);
    else
      clearInterval(watching); // no users here: nothing will change without a restart
  }

  form.addEventListener('submit', event => {
    event.preventDefault();
    pending = { channel: Number(channel.value) };
    const parts = [];
    if (setTemp.value.trim() !== '') {
      pending.set_temperature = setTemp.value.trim();
      parts.push('set temperature ' + pending.set_temperature + ' °C');
    }
    if (output.value !== '') {
      pending.output_enable = output.value;
      parts.push('output ' + pending.output_enable);
    }
    if (parts.length === 0) {
      result.textContent = 'Give a set temperature, an output enable or both.';
      return;
    }
    document.getElementById('settings-confirm-text').textContent =
      'Write to TEMP' + pending.channel + ': ' + parts.join(', ') + '?';
    confirmBox.hidden = false;
    result.textContent = '';
  });

  document.getElementById('settings-cancel').addEventListener('click', () => {
    confirmBox.hidden = true;
    pending = null;
  });

  document.getElementById('settings-confirm-button').addEventListener('click', async () => {
    confirmBox.hidden = true;
    const body = JSON.stringify(pending);
    pending = null;
    result.className = '';
    result.textContent = 'Writing…';
    try {
      const reply = await fetch('/settings', { method: 'POST', cache: 'no-store',
                                               headers: { 'Content-Type': 'application/json' }, body: body });
      const answer = await reply.json();
      if (reply.ok) {
        result.className = 'done';
        result.textContent = 'TEMP' + answer.channel + ' reads back: set temperature ' + answer.set_temperature +
                             ' °C, output ' + answer.output_enable + '.';
      } else {
        result.className = 'failed';
        result.textContent = 'Not written as asked (' + reply.status + '): ' + answer.error + '.';
      }
    } catch (error) {
      result.className = 'failed';
      result.textContent = 'No answer from serve: ' + error.message + '.';
    }
    refresh();
  });

  channel.addEventListener('change', fillFromReading);
  const watching = setInterval(refresh, 5000);
  refresh();
})();

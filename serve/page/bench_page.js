// The bench page: polls /state.json twice a second for the bench now and the
// trend entries it has not seen, and draws the last hour per channel.
'use strict';

(function () {
  const POLL_MS = 500;
  const ANSWER_MS = 2000;
  const HOUR_MS = 3600 * 1000;
  const CHANNELS = 4;
  const FLAGS = [
    ['sensor', 'Sensor'],
    ['overtemp', 'Overtemp'],
    ['ext_heat_enable', 'Ext. heat enable'],
  ];
  // The last is the set point of the channel's program, as /programs gave
  // it when each entry came in (programs.js keeps it in programSetpoints).
  const LABELS = ['Time', 'Temperature °C', 'Set temperature °C', 'Power %', 'Program set point °C'];

  const page = {
    instance: null,
    last: 0,            // sequence number of the newest entry held
    rows: [],           // per channel: [time in ms, temperature, set temperature, power, program set point]
    programSetpoints: [null, null, null, null], // per channel, the latest; null: no program drives it
    charts: [],
    firstDrawnMs: null, // from navigation to the charts first drawn with the trend
  };
  window.benchPage = page;

  function text(id, value) {
    document.getElementById(id).textContent = value;
  }

  function buildTable() {
    const body = document.querySelector('#channels tbody');
    for (let ch = 1; ch <= CHANNELS; ch++) {
      const row = document.createElement('tr');
      row.innerHTML =
        '<th scope="row">TEMP' + ch + '</th>' +
        '<td class="value" id="temperature-' + ch + '">--</td>' +
        '<td class="value" id="power-' + ch + '">--</td>' +
        '<td class="value" id="set-temperature-' + ch + '">--</td>' +
        '<td id="output-enable-' + ch + '">--</td>' +
        FLAGS.map(([key]) => '<td><span class="lamp unknown ' + key.replace(/_/g, '-') +
                  '" id="' + key.replace(/_/g, '-') + '-' + ch + '">--</span></td>').join('');
      body.appendChild(row);
    }
  }

  // The chart library's own legend writes inline styles, which the page's
  // Content-Security-Policy refuses: the same legend, its colours and the
  // set temperature's dashes given by class from bench_page.css.
  function legend(data) {
    const shown = data.series.map((series, index) => ({ series, index })).filter(s => s.series.isVisible);
    const name = s => '<span class="series series-' + s.index + '">' + s.series.labelHTML + '</span>';
    if (data.x == null)
      return shown.map(s => '<span class="swatch series-' + s.index + '"></span> ' + name(s)).join(' ');
    return data.xHTML + ':' + shown.filter(s => s.series.y != null)
      .map(s => ' <b>' + name(s) + '</b>:&#160;' + s.series.yHTML).join('');
  }

  function buildTrends() {
    const trends = document.getElementById('trends');
    for (let ch = 1; ch <= CHANNELS; ch++) {
      const box = document.createElement('section');
      box.className = 'trend';
      box.innerHTML = '<h3>TEMP' + ch + '</h3><div class="chart" id="chart-' + ch + '"></div>' +
                      '<div class="legend" id="legend-' + ch + '"></div>';
      trends.appendChild(box);
      page.rows.push([]);
      page.charts.push(null);
    }
  }

  function showChannel(channel) {
    const ch = channel.channel;
    text('temperature-' + ch, channel.temperature ?? '--');
    text('power-' + ch, channel.power ?? '--');
    text('set-temperature-' + ch, channel.set_temperature ?? '--');
    text('output-enable-' + ch, channel.output_enable === null ? '--' : (channel.output_enable || '(none)'));
    for (const [key, caption] of FLAGS) {
      const lamp = document.getElementById(key.replace(/_/g, '-') + '-' + ch);
      const state = channel[key] === null ? 'unknown' : channel[key] ? 'on' : 'off';
      lamp.className = 'lamp ' + key.replace(/_/g, '-') + ' ' + state;
      lamp.textContent = state === 'unknown' ? '--' : state;
      lamp.title = caption + ': ' + (state === 'unknown' ? 'not read' : state);
    }
  }

  function showBench(state) {
    text('port', state.port);
    text('firmware', state.firmware_version ?? '--');
    const answering = document.getElementById('answering');
    answering.className = state.answering ? 'yes' : 'no';
    answering.textContent = state.answering ? 'answering'
                          : state.port_open ? 'not answering' : 'not answering (port not open)';
    state.channels.forEach(showChannel);
  }

  function unreachable() {
    const answering = document.getElementById('answering');
    answering.className = 'no';
    answering.textContent = 'not answering (serve not reachable)';
  }

  // A stretch with no passes at all (the port gone) is a gap, not a line.
  function appendEntries(entries, intervalSeconds) {
    const gapMs = (3 * intervalSeconds + 1) * 1000;
    for (const entry of entries) {
      if (entry[0] <= page.last)
        continue;
      const time = entry[1];
      for (let ch = 0; ch < CHANNELS; ch++) {
        const rows = page.rows[ch];
        if (rows.length > 0 && time - rows[rows.length - 1][0] > gapMs)
          rows.push([time - 1, null, null, null, null]);
        rows.push([time, entry[2 + 3 * ch], entry[3 + 3 * ch], entry[4 + 3 * ch], page.programSetpoints[ch]]);
      }
    }
    if (entries.length === 0)
      return;
    const oldest = entries[entries.length - 1][1] - HOUR_MS;
    for (const rows of page.rows) {
      let drop = 0;
      while (drop < rows.length && rows[drop][0] < oldest)
        drop++;
      if (drop > 0)
        rows.splice(0, drop);
    }
  }

  // At least MIN_SPAN_C degrees, so that a channel holding its set temperature
  // shows as a flat line, not as its sensor's noise; power from 0 to 100 % or more.
  // A channel no program drove in the hour shows no program set point at all.
  const MIN_SPAN_C = 2;
  function ranges(rows) {
    let low = Infinity, high = -Infinity, power = 100, program = false;
    for (const row of rows) {
      program = program || row[4] !== null;
      for (const value of [row[1], row[2], row[4]]) {
        if (value !== null) {
          low = Math.min(low, value);
          high = Math.max(high, value);
        }
      }
      if (row[3] !== null)
        power = Math.max(power, row[3]);
    }
    if (low > high)
      return { temperature: null, power: [0, power], program: program };
    const middle = (low + high) / 2;
    const half = Math.max(MIN_SPAN_C, high - low) / 2 * 1.25;
    return { temperature: [middle - half, middle + half], power: [0, power * 1.05], program: program };
  }

  function drawCharts() {
    for (let ch = 0; ch < CHANNELS; ch++) {
      const range = ranges(page.rows[ch]);
      // Times as plain numbers with the date axis's own formatters: Dygraph
      // copies a whole data set given with Date objects on every update.
      const axes = { x: { axisLabelWidth: 70, ticker: Dygraph.dateTicker,
                          axisLabelFormatter: Dygraph.dateAxisLabelFormatter,
                          valueFormatter: time => Dygraph.dateString_(time) },
                     y: { valueRange: range.temperature },
                     y2: { valueRange: range.power, independentTicks: true, drawGrid: false } };
      const visibility = [true, true, true, range.program];
      if (page.charts[ch]) {
        page.charts[ch].updateOptions({ file: page.rows[ch], axes: axes, visibility: visibility });
        continue;
      }
      page.charts[ch] = new Dygraph(document.getElementById('chart-' + (ch + 1)), page.rows[ch], {
        labels: LABELS,
        labelsDiv: document.getElementById('legend-' + (ch + 1)),
        legend: 'always',
        legendFormatter: legend,
        ylabel: '°C',
        y2label: 'Power %',
        colors: ['#c62828', '#555555', '#1565c0', '#ef6c00'],
        series: {
          'Set temperature °C': { strokePattern: Dygraph.DASHED_LINE },
          'Power %': { axis: 'y2', strokeWidth: 1 },
          'Program set point °C': { strokePattern: Dygraph.DOTTED_LINE, strokeWidth: 2 },
        },
        visibility: visibility,
        axes: axes,
        connectSeparatedPoints: false,
      });
    }
    // Dygraph draws as it is made or updated, so all four are on screen now.
    if (page.firstDrawnMs === null)
      page.firstDrawnMs = performance.now();
  }

  function reset(instance) {
    page.instance = instance;
    page.last = 0;
    page.rows.forEach(rows => rows.splice(0, rows.length));
  }

  // The page's first answer, asked for by the page's head while this script
  // and the chart library were still loading.
  let firstState = window.benchFirstState || null;

  async function poll() {
    try {
      const pending = firstState;
      firstState = null;
      // A serve that does not answer at all is as bad as a silent controller.
      const reply = await (pending || fetch('/state.json?after=' + page.last,
                                            { cache: 'no-store', signal: AbortSignal.timeout(ANSWER_MS) }));
      if (!reply.ok)
        throw new Error(reply.status);
      const state = await reply.json();
      if (state.instance !== page.instance) {
        // serve started again: its sequence numbers are new, take the whole hour.
        const fresh = page.instance === null;
        reset(state.instance);
        if (!fresh)
          return poll();
      }
      showBench(state);
      if (state.trend.entries.length > 0) {
        appendEntries(state.trend.entries, state.interval_s);
        page.last = state.trend.last;
        drawCharts();
      }
    } catch (error) {
      unreachable();
    }
  }

  buildTable();
  buildTrends();
  function schedule() {
    setTimeout(() => poll().finally(schedule), POLL_MS);
  }
  poll().finally(schedule);
})();

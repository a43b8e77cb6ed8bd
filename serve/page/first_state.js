// The whole trend at once, fetched while the chart library loads. A file of
// its own, not inline, so that the page's Content-Security-Policy can allow
// the page's own scripts and nothing else.
window.benchFirstState = fetch('/state.json?after=0',
                              { cache: 'no-store', signal: AbortSignal.timeout(10000) });

// The player's page elements: the picture's stage (canvas, messages, the
// keys' help) and the controls below it, their events and the keys.

// The speeds `+` and `-` step through.
export const kSpeeds = [0.5, 0.75, 1, 1.25, 1.5, 2, 3, 4];

// The keys, as selfplay-view has them; shown by `?`.
export const kKeys = [
  ['Space, click on the picture', 'play / pause'],
  ['\u2190 / \u2192', '5 seconds back / forward'],
  ['Shift+\u2190 / Shift+\u2192', '1 minute back / forward'],
  ['Home / End', 'start / end'],
  [', / .', 'one frame back / forward (pauses)'],
  ['[ / ]', 'previous / next scene mark'],
  ['- / +', 'slower / faster (0.5x to 4x, pitch kept)'],
  ['I', 'skip idle stretches'],
  ['M', 'mute'],
  ['F, double click', 'full screen'],
  ['1', 'actual size / fit'],
  ['?', 'this help'],
];

// Drawn signs, so that no icon font or emoji font is needed.
const kIcons = {
  play: '<path d="M7 4.5v15l12.5-7.5z"/>',
  pause: '<rect x="6" y="4.5" width="4" height="15" rx="1"/><rect x="14" y="4.5" width="4" height="15" rx="1"/>',
  sound: '<path d="M4 9h4l5-4.5v15L8 15H4z"/><path d="M16 8.5a5 5 0 0 1 0 7M18.5 6a8.5 8.5 0 0 1 0 12" fill="none" stroke="currentColor" stroke-width="1.8"/>',
  muted: '<path d="M4 9h4l5-4.5v15L8 15H4z"/><path d="M16 9l5 6M21 9l-5 6" fill="none" stroke="currentColor" stroke-width="1.8"/>',
  full: '<path d="M4 9V4h5M15 4h5v5M20 15v5h-5M9 20H4v-5" fill="none" stroke="currentColor" stroke-width="2"/>',
};

export function icon(name) {
  return `<svg viewBox="0 0 24 24" width="20" height="20" fill="currentColor" aria-hidden="true">${kIcons[name]}</svg>`;
}

export function element(tag, className, parent, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  if (parent) parent.appendChild(node);
  return node;
}

export function button(className, parent, label, title) {
  const node = element('button', 'sp-button ' + className, parent, label);
  node.type = 'button';
  node.title = title;
  node.setAttribute('aria-label', title);
  node.tabIndex = -1;  // keys go to the player, not to the button
  return node;
}

// The player's elements: the picture's stage and, below it, the controls.
export function buildDom(player, SeekBar) {
  const root = element('div', 'selfplay-player sp-loading sp-paused');
  player.root = root;
  root.tabIndex = 0;
  root.classList.toggle('sp-no-controls', player.options.controls === false);
  const stage = element('div', 'sp-stage', root);
  player.stage = stage;
  player.canvas = element('canvas', 'sp-picture', stage);
  player.canvas.width = 0;
  player.canvas.height = 0;
  player.context = player.canvas.getContext('2d', {alpha: false});
  player.toast = element('div', 'sp-toast', stage);
  player.bigPlay = button('sp-big-play', stage, '', 'Play with sound');
  player.bigPlay.innerHTML = icon('play');
  player.errorBox = element('div', 'sp-error', stage);
  player.errorBox.setAttribute('role', 'alert');
  player.help = element('div', 'sp-help', stage);
  element('h2', '', player.help, 'Keys');
  const table = element('table', '', player.help);
  for (const [key, does] of kKeys) {
    const row = element('tr', '', table);
    element('th', '', row, key);
    element('td', '', row, does);
  }

  const controls = element('div', 'sp-controls', root);
  player.playButton = button('sp-play', controls, '', 'Play (Space)');
  player.playButton.innerHTML = icon('play');
  player.timeLabel = element('span', 'sp-time', controls, '0:00 / 0:00');
  player.bar = new SeekBar(controls, {
    seek: (ms) => player.seekTo(ms),
    preview: (ms) => player.preview(ms),
  });
  player.speedSelect = element('select', 'sp-speed', controls);
  player.speedSelect.title = 'Speed (+ / -)';
  player.speedSelect.tabIndex = -1;
  for (const speed of kSpeeds) {
    const option = element('option', '', player.speedSelect, `${speed}x`);
    option.value = String(speed);
  }
  player.speedSelect.value = String(player.speed);
  player.idleButton = button('sp-idle', controls, 'Skip idle', 'Skip idle stretches (I)');
  player.muteButton = button('sp-mute', controls, '', 'Mute (M)');
  player.volumeInput = element('input', 'sp-volume', controls);
  Object.assign(player.volumeInput, {type: 'range', min: 0, max: 100, value: 100, title: 'Volume', tabIndex: -1});
  player.fitButton = button('sp-fit', controls, 'Fit', 'Actual size / fit (1)');
  player.fullButton = button('sp-full', controls, '', 'Full screen (F)');
  player.fullButton.innerHTML = icon('full');
  player.helpButton = button('sp-help-button', controls, '?', 'Keys (?)');
  player.status = element('div', 'sp-status', root);

  player.host.appendChild(root);
  player.setFit(player.oneToOne ? 'none' : 'contain');
  player.setIdleSkip(player.idleSkip);
  player.setMuted(player.muted);
  wireEvents(player);
}

function wireEvents(player) {
  player.playButton.addEventListener('click', () => player.togglePause());
  player.bigPlay.addEventListener('click', (event) => { event.stopPropagation(); player.startAfterGesture(); });
  player.speedSelect.addEventListener('change', () => player.setSpeed(Number(player.speedSelect.value)));
  player.idleButton.addEventListener('click', () => player.toggleIdleSkip());
  player.muteButton.addEventListener('click', () => player.setMuted(!player.muted));
  player.volumeInput.addEventListener('input', () => player.setVolume(Number(player.volumeInput.value) / 100));
  player.fitButton.addEventListener('click', () => player.setFit(player.oneToOne ? 'contain' : 'none'));
  player.fullButton.addEventListener('click', () => player.toggleFullScreen());
  player.helpButton.addEventListener('click', () => player.toggleHelp());
  player.help.addEventListener('click', () => player.toggleHelp(false));
  // A click or a tap on the picture plays / pauses; a double click goes
  // full screen (the click it began with is taken back).
  player.canvas.addEventListener('click', () => {
    if (player.justStarted()) return;
    player.root.focus({preventScroll: true});
    player.togglePause();
  });
  player.canvas.addEventListener('dblclick', () => { player.togglePause(); player.toggleFullScreen(); });
  player.root.addEventListener('keydown', (event) => onKey(player, event));
  document.addEventListener('fullscreenchange', () => {
    player.root.classList.toggle('sp-full-screen', document.fullscreenElement === player.root);
  });
}

// selfplay-view's keys.
function onKey(player, event) {
  if (event.ctrlKey || event.metaKey || event.altKey) return;
  const shift = event.shiftKey;
  const actions = {
    ' ': () => player.togglePause(),
    'ArrowLeft': () => player.seekBy(shift ? -60000 : -5000),
    'ArrowRight': () => player.seekBy(shift ? 60000 : 5000),
    'Home': () => player.seekTo(0),
    'End': () => player.seekTo(player.durationMs),
    ',': () => player.stepFrame(-1),
    '.': () => player.stepFrame(1),
    '[': () => player.jumpToMark(-1),
    ']': () => player.jumpToMark(1),
    '+': () => player.changeSpeed(1), '=': () => player.changeSpeed(1),
    '-': () => player.changeSpeed(-1), '_': () => player.changeSpeed(-1),
    'i': () => player.toggleIdleSkip(), 'I': () => player.toggleIdleSkip(),
    'm': () => player.setMuted(!player.muted), 'M': () => player.setMuted(!player.muted),
    'f': () => player.toggleFullScreen(), 'F': () => player.toggleFullScreen(),
    '1': () => player.setFit(player.oneToOne ? 'contain' : 'none'),
    '?': () => player.toggleHelp(),
    'Escape': () => player.toggleHelp(false),
  };
  const action = actions[event.key];
  if (!action) return;
  event.preventDefault();
  // The key that lets sound start has started playing already.
  if (event.key === ' ' && player.justStarted()) return;
  if (!player.engine && event.key !== '?' && event.key !== 'Escape') return;
  action();
}

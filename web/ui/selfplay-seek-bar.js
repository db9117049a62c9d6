// The seek bar: where the picture stands, the scene marks, a click or a
// drag (mouse, pen or finger) to seek, and on hover the time and a small
// picture of that moment above the bar.

export function formatTime(milliseconds) {
  const total = Math.floor(Math.max(0, milliseconds) / 1000);
  const h = Math.floor(total / 3600);
  const m = Math.floor(total / 60) % 60;
  const s = String(total % 60).padStart(2, '0');
  return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${s}` : `${m}:${s}`;
}

function div(className, parent) {
  const node = document.createElement('div');
  node.className = className;
  parent.appendChild(node);
  return node;
}

export class SeekBar {
  // calls: {seek(ms), preview(ms)}; the preview's picture arrives later by showPreview.
  constructor(parent, calls) {
    this.calls = calls;
    this.duration = 0;
    this.position = 0;
    this.root = div('sp-seek', parent);
    this.root.setAttribute('role', 'slider');
    this.root.setAttribute('aria-label', 'Seek');
    this.groove = div('sp-groove', this.root);
    this.played = div('sp-played', this.groove);
    this.markLayer = div('sp-marks', this.groove);
    this.hoverLine = div('sp-hover-line', this.groove);
    this.knob = div('sp-knob', this.groove);
    this.popup = div('sp-preview', this.root);
    this.previewCanvas = document.createElement('canvas');
    this.popup.appendChild(this.previewCanvas);
    this.popupTime = div('sp-preview-time', this.popup);
    this.wire();
  }

  setDuration(ms) {
    if (this.duration === ms) return;
    this.duration = Math.max(0, ms);
    this.root.setAttribute('aria-valuemax', String(Math.round(this.duration / 1000)));
    this.setMarks(this.marks || []);
    this.draw();
  }

  setPosition(ms) {
    const position = Math.min(Math.max(0, ms), this.duration);
    if (position === this.position) return;
    this.position = position;
    this.draw();
  }

  setMarks(marks) {
    this.marks = marks;
    this.markLayer.replaceChildren();
    if (this.duration <= 0) return;
    for (const mark of marks) {
      const tick = div('sp-mark', this.markLayer);
      tick.style.left = `${(100 * mark / this.duration).toFixed(3)}%`;
    }
  }

  draw() {
    const share = this.duration > 0 ? this.position / this.duration : 0;
    const percent = `${(100 * share).toFixed(3)}%`;
    this.played.style.width = percent;
    this.knob.style.left = percent;
    this.root.setAttribute('aria-valuenow', String(Math.round(this.position / 1000)));
  }

  timeAt(clientX) {
    const box = this.groove.getBoundingClientRect();
    if (box.width <= 0) return 0;
    return Math.min(1, Math.max(0, (clientX - box.left) / box.width)) * this.duration;
  }

  wire() {
    const root = this.root;
    root.addEventListener('pointerdown', (event) => {
      if (event.button !== 0) return;
      this.dragging = event.pointerId;
      root.setPointerCapture?.(event.pointerId);
      root.classList.add('sp-dragging');
      this.calls.seek(this.timeAt(event.clientX));
      event.preventDefault();
    });
    root.addEventListener('pointermove', (event) => {
      if (this.dragging === event.pointerId) this.calls.seek(this.timeAt(event.clientX));
      if (event.pointerType === 'mouse' || this.dragging === event.pointerId) this.hover(event.clientX);
    });
    const end = (event) => {
      if (this.dragging !== event.pointerId) return;
      this.dragging = undefined;
      root.classList.remove('sp-dragging');
      if (event.pointerType !== 'mouse') this.leave();
    };
    root.addEventListener('pointerup', end);
    root.addEventListener('pointercancel', end);
    root.addEventListener('pointerleave', (event) => {
      if (this.dragging === undefined) this.leave();
    });
  }

  hover(clientX) {
    if (this.duration <= 0) return;
    const box = this.groove.getBoundingClientRect();
    const x = Math.min(box.width, Math.max(0, clientX - box.left));
    const at = this.timeAt(clientX);
    this.hoverLine.style.left = `${x}px`;
    this.root.classList.add('sp-hovering');
    this.popupTime.textContent = formatTime(at);
    // Kept inside the bar's ends.
    const half = this.popup.offsetWidth / 2;
    const left = Math.min(Math.max(x + this.groove.offsetLeft, half), this.root.clientWidth - half);
    this.popup.style.left = `${left}px`;
    this.calls.preview(at);
  }

  showPreview(image) {
    if (!this.root.classList.contains('sp-hovering')) return;
    const canvas = this.previewCanvas;
    if (canvas.width !== image.width || canvas.height !== image.height) {
      canvas.width = image.width;
      canvas.height = image.height;
    }
    canvas.getContext('2d').putImageData(image, 0, 0);
    this.root.classList.add('sp-has-preview');
  }

  leave() {
    this.root.classList.remove('sp-hovering');
  }
}

// selfplay-element.js: <selfplay-player>, the player as an element (part of
// selfplay-player.js, which passes its Player in: a module imported by URL
// cannot import the module that imports it).

export function defineElement(Player) {
  // <selfplay-player src=... autoplay loop speed=1.5 start-at=30 idle-skip fit=none controls muted>
  class SelfplayPlayerElement extends HTMLElement {
    static get observedAttributes() { return ['src']; }

    connectedCallback() {
      if (this.player || !this.hasAttribute('src')) return;
      this.load(this.getAttribute('src'));
    }

    disconnectedCallback() {
      // Moving the element re-connects it at once: dispose only when it stays out.
      queueMicrotask(() => {
        if (!this.isConnected && this.player) { this.player.dispose(); this.player = null; }
      });
    }

    attributeChangedCallback(name, before, after) {
      if (name === 'src' && this.isConnected && this.player && before !== after && after) this.load(after);
    }

    // A source other than a URL (bytes or a Blob), e.g. from the one-file HTML.
    load(source) {
      this.player?.dispose();
      const options = {
        autoplay: this.hasAttribute('autoplay'),
        loop: this.hasAttribute('loop'),
        speed: Number(this.getAttribute('speed') || 1),
        startAt: Number(this.getAttribute('start-at') || 0),
        idleSkip: this.hasAttribute('idle-skip'),
        fit: this.getAttribute('fit') === 'none' ? 'none' : 'contain',
        // Without the attribute the controls show too, as the page expects.
        controls: this.getAttribute('controls') !== 'false',
        muted: this.hasAttribute('muted'),
      };
      this.player = new Player(this, options);
      this.ready = this.player.open(source);
      return this.ready;
    }
  }

  if (globalThis.customElements && !customElements.get('selfplay-player')) {
    customElements.define('selfplay-player', SelfplayPlayerElement);
  }
  return SelfplayPlayerElement;
}

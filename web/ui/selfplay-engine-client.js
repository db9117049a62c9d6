// selfplay-engine-client.js: the player's side of its worker (part of
// selfplay-player.js; the messages are described in selfplay-worker.js).

// Requests to the worker, answered in order.
export class EngineClient {
  constructor(worker, onEvent) {
    this.worker = worker;
    this.next = 1;
    this.waiting = new Map();
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.type !== 'reply') return onEvent(message);
      const pending = this.waiting.get(message.id);
      this.waiting.delete(message.id);
      if (pending) pending(message);
    };
    worker.onerror = (event) => {
      event.preventDefault?.();
      onEvent({type: 'failed', message: `The player's engine did not start: ${event.message || 'worker error'}`});
    };
  }
  request(type, fields = {}, transfer = []) {
    const id = this.next++;
    return new Promise((resolve) => {
      this.waiting.set(id, resolve);
      this.worker.postMessage({type, id, ...fields}, transfer);
    });
  }
  post(message, transfer = []) { this.worker.postMessage(message, transfer); }
  terminate() {
    this.worker.terminate();
    for (const pending of this.waiting.values()) pending({failed: 'closed'});
    this.waiting.clear();
  }
}

// selfplay-source.js: what the player is given to play (part of
// selfplay-player.js): the source as a Blob, and its name in messages.

export async function toBlob(source) {
  if (source instanceof Blob) return source;
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) return new Blob([source]);
  if (typeof source === 'string' || source instanceof URL) {
    let response;
    try {
      response = await fetch(source);
    } catch (e) {
      throw new Error(`${source} cannot be loaded: ${e.message}`);
    }
    if (!response.ok) throw new Error(`${source} cannot be loaded: ${response.status} ${response.statusText}`);
    return await response.blob();
  }
  throw new Error('The source must be a URL, an ArrayBuffer, a Uint8Array or a Blob');
}

export function nameOf(source) {
  if (typeof source === 'string') return decodeURIComponent(source.split(/[?#]/)[0].split('/').pop() || source);
  if (source instanceof URL) return nameOf(source.href);
  if (source && source.name) return source.name;
  return 'The recording';
}

// The engine's message with the file's name in it.
export function messageFor(name, message) {
  if (!name || message.startsWith(name)) return message;
  if (message.startsWith('This file ')) return name + message.slice('This file'.length);
  return `${name} cannot be shown: ${message}`;
}

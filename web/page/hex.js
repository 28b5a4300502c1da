// The bytes of hexadecimal text: the analysis' WebAssembly for a page opened
// from disk (wasm.js), and the samples the workers warm up on. The page loads
// it as a script; the workers' script (worker.js) holds a copy.
function tabulonBytesOfHex(hex) {
    if (Uint8Array.fromHex) return Uint8Array.fromHex(hex);
    const nibble = (code) => (code & 0xf) + (code >> 6) * 9;  // '0'-'9', 'a'-'f'
    const bytes = new Uint8Array(hex.length >> 1);
    for (let i = 0; i < bytes.length; ++i) bytes[i] = (nibble(hex.charCodeAt(2 * i)) << 4) | nibble(hex.charCodeAt(2 * i + 1));
    return bytes;
}

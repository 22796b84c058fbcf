// One headless xterm.js terminal driven line by line on standard input, for
// the end-to-end checks. Commands (hex carries raw bytes):
//   o HEX          the program's output, fed to the terminal
//   r COLS ROWS    the window is resized
//   k NAME         a key pressed: Home End Left Right Up Down Escape Enter Backspace
//   t HEX          text typed (UTF-8)
//   s              the screen, once everything fed so far is shown
// Replies, one line each: "d HEX" (what the terminal sends to the program,
// for k and t) and, for s, "g COLS ROWS CURSOR_X CURSOR_Y VISIBLE" followed
// by one line per row of "FG,BG,HEX" cells, FG and BG a palette index, -1
// for the default colour, -2 for a direct RGB colour.
'use strict';

const readline = require('readline');
const { Terminal } = require('@xterm/headless');

const columns = Number(process.argv[2] || 80);
const rows = Number(process.argv[3] || 25);
const terminal = new Terminal({ cols: columns, rows, allowProposedApi: true, scrollback: 0 });

// The headless terminal keeps cursor visibility to itself: follow DECTCEM
// through its own parser, letting its default handling run as well.
let cursorVisible = true;
function followCursorMode(final, visible) {
  terminal.parser.registerCsiHandler({ prefix: '?', final }, (params) => {
    if (params.some((param) => param === 25)) cursorVisible = visible;
    return false;
  });
}
followCursorMode('h', true);
followCursorMode('l', false);

// The headless build leaves out keyboard handling; these are the bytes its
// keyboard handler gives for unmodified keys, in normal and in application
// cursor mode.
const KEYS = {
  Home: ['\x1b[H', '\x1bOH'],
  End: ['\x1b[F', '\x1bOF'],
  Left: ['\x1b[D', '\x1bOD'],
  Right: ['\x1b[C', '\x1bOC'],
  Up: ['\x1b[A', '\x1bOA'],
  Down: ['\x1b[B', '\x1bOB'],
  Escape: ['\x1b', '\x1b'],
  Enter: ['\r', '\r'],
  Backspace: ['\x7f', '\x7f'],
};

// What the terminal hands to the program goes through its own input path, as
// a key press in an editor does.
let sent = [];
terminal.onData((data) => sent.push(data));

function send(data) {
  sent = [];
  terminal.input(data, true);
  process.stdout.write(`d ${Buffer.from(sent.join(''), 'utf8').toString('hex')}\n`);
}

function colour(isDefault, isPalette, value) {
  if (isDefault) return -1;
  return isPalette ? value : -2;
}

function screenText() {
  const buffer = terminal.buffer.active;
  const lines = [
    `g ${terminal.cols} ${terminal.rows} ${buffer.cursorX} ${buffer.cursorY} ${cursorVisible ? 1 : 0}`,
  ];
  const cell = buffer.getNullCell();
  for (let y = 0; y < terminal.rows; ++y) {
    const line = buffer.getLine(buffer.viewportY + y);
    const cells = [];
    for (let x = 0; x < terminal.cols; ++x) {
      line.getCell(x, cell);
      const fg = colour(cell.isFgDefault(), cell.isFgPalette(), cell.getFgColor());
      const bg = colour(cell.isBgDefault(), cell.isBgPalette(), cell.getBgColor());
      cells.push(`${fg},${bg},${Buffer.from(cell.getChars(), 'utf8').toString('hex')}`);
    }
    lines.push(cells.join(' '));
  }
  return `${lines.join('\n')}\n`;
}

// Commands run one after another; resizes, keys and screens wait until all output
// before them has been parsed, so that a key sees the modes already set.
function afterOutput(action) {
  return new Promise((resolve) => {
    terminal.write('', () => {
      action();
      resolve();
    });
  });
}

function pressKey(name) {
  const key = KEYS[name];
  if (!key) throw new Error(`unknown key ${name}`);
  send(key[terminal.modes.applicationCursorKeysMode ? 1 : 0]);
}

let queue = Promise.resolve();
function run(line) {
  const [command, ...args] = line.trim().split(' ');
  switch (command) {
    case 'o':
      terminal.write(Buffer.from(args[0] || '', 'hex'));
      return Promise.resolve();
    case 'r':
      return afterOutput(() => terminal.resize(Number(args[0]), Number(args[1])));
    case 'k':
      return afterOutput(() => pressKey(args[0]));
    case 't':
      return afterOutput(() => send(Buffer.from(args[0] || '', 'hex').toString('utf8')));
    case 's':
      return afterOutput(() => process.stdout.write(screenText()));
    default:
      throw new Error(`unknown command ${command}`);
  }
}

const input = readline.createInterface({ input: process.stdin });
input.on('line', (line) => {
  queue = queue.then(() => run(line)).catch((error) => {
    process.stderr.write(`${error.stack}\n`);
    process.exit(2);
  });
});
input.on('close', () => queue.then(() => process.exit(0)));

// Sends COUNT calls of METHOD to the running agent on the session bus, at most 64 at a time,
// and prints how many were answered and how many refused, and the seconds it took.
// Usage: gjs flood_calls.js METHOD COUNT [ARGUMENT], where an ARGUMENT of the form "<n>MiB"
// stands for a string of that many mebibytes.
const {Gio, GLib} = imports.gi;

const [method, countText, given] = ARGV;
const size = given === undefined ? null : given.match(/^(\d+)MiB$/);
const argument = size ? 'x'.repeat(parseInt(size[1], 10) * 1024 * 1024) : given;
const count = parseInt(countText, 10);
const bus = Gio.DBus.session;
const loop = new GLib.MainLoop(null, false);
const started = GLib.get_monotonic_time();
let sent = 0, done = 0, answered = 0, refused = 0, firstError = '';

function sendOne() {
  sent++;
  const args = argument === undefined ? null : new GLib.Variant('(s)', [argument]);
  bus.call('org.orbellite.OrbelLite', '/org/orbellite/OrbelLite', 'org.orbellite.OrbelLite', method, args, null,
    Gio.DBusCallFlags.NO_AUTO_START, 120000, null, (conn, res) => {
      try {
        conn.call_finish(res);
        answered++;
      } catch (e) {
        refused++;
        if (!firstError) firstError = e.message;
      }
      done++;
      if (sent < count) sendOne();
      else if (done === count) loop.quit();
    });
}
for (let i = 0; i < Math.min(64, count); i++) sendOne();
loop.run();
const seconds = (GLib.get_monotonic_time() - started) / 1e6;
print(`${method} x${count}: ${answered} answered, ${refused} refused${firstError ? ' (' + firstError + ')' : ''}, ${seconds.toFixed(1)} s`);

// The real pieces behind the page: a throwaway PostgreSQL cluster (as the
// record tests start it), quorvane-headless stations each under a host name
// of its own, quorvane-router boards, quorvane-dashboard, Debian's chromium.
import {execFile, execFileSync, spawn} from 'node:child_process';
import dgram from 'node:dgram';
import {mkdirSync, mkdtempSync, readdirSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {promisify} from 'node:util';
import {chromium} from 'playwright-core';

const bin = (name) => join(process.env.QUORVANE_BIN_DIR ?? '../../build/bin', name);
const root = process.getuid() === 0;
const temps = [];
const temp = (prefix) => temps[temps.push(mkdtempSync(join(tmpdir(), prefix))) - 1];

export function cleanUp(cluster) {
    try {
        cluster?.ctl('stop');
    } finally {
        for (const dir of temps)
            rmSync(dir, {recursive : true, force : true});
    }
}

export class Cluster {
    // Then runs `sql` as "qv" on the database "postgres".
    constructor(sql) {
        this.dir = temp('qvpg-');
        const versions = readdirSync('/usr/lib/postgresql');
        this.bin = `/usr/lib/postgresql/${versions.sort().at(-1)}/bin/`;
        // The server refuses root: as root its programs run as "postgres".
        if (root)
            execFileSync('chown', [ 'postgres:', this.dir ]);
        this.run('initdb', [ '-D', `${this.dir}/data`, '-A', 'trust', '-U', 'qv', '--no-sync' ]);
        this.ctl('start');
        this.psql('postgres', sql);
    }
    run(program, args) {
        const command =
            [...(root ? [ 'runuser', '-u', 'postgres', '--' ] : []), this.bin + program ];
        return execFileSync(command[0], [...command.slice(1), ...args ], {encoding : 'utf8'});
    }
    ctl(action) {
        const options = `-k ${this.dir} -c listen_addresses='' -c fsync=off`;
        const log = `${this.dir}/server.log`;
        this.run(
            'pg_ctl',
            [ '-D', `${this.dir}/data`, '-o', options, '-l', log, '-m', 'fast', '-w', action ]);
    }
    psql(database, statements) {
        const args = [ '-h', this.dir, '-U', 'qv', '-d', database, '-v', 'ON_ERROR_STOP=1' ];
        return this.run('psql', [...args, ...statements.flatMap((s) => ['-c', s]) ]);
    }
    url(database, user = 'qv') {
        return `postgresql://${user}@localhost/${database}?host=${this.dir}`;
    }
}

async function freeUdpPort() {
    const socket = dgram.createSocket('udp4');
    await new Promise((resolve) => socket.bind(0, '127.0.0.1', resolve));
    const {port} = socket.address();
    await new Promise((resolve) => socket.close(resolve));
    return port;
}

// The first match of `pattern` in what the program prints.
function printed(child, pattern) {
    return new Promise((resolve, reject) => {
        let seen = '';
        child.stdout.on('data',
                        (chunk) => (seen += chunk).match(pattern) && resolve(seen.match(pattern)));
        child.on('exit', (code) => reject(
                             new Error(`${child.spawnargs.join(' ')}: exit ${code}: ${seen}`)));
    });
}

// A station that writes the MACs and the root image. Its operator scans the
// label of the board being served and says yes to every re-burn question, as
// when a label is re-burned on purpose.
export async function startStation(host, lineUrl) {
    const folder = temp('qvstation-');
    mkdirSync(join(folder, 'Log'));
    writeFileSync(join(folder, 'root.bin'), Buffer.alloc(8192, host));
    // "sysfile": the selection (MAC, root image), the root image's path at 275.
    const settings = Buffer.alloc(789);
    settings[0] = 0x09;
    settings.write(join(folder, 'root.bin'), 275);
    writeFileSync(join(folder, 'sysfile'), settings);
    const port = await freeUdpPort();
    const command =
        [ bin('quorvane-headless'), '--folder', folder, '--port', port, '--record', lineUrl ];
    const child = spawn('unshare', [
        ...(root ? [] : [ '--map-root-user' ]), '--uts', 'sh', '-c', 'hostname "$0" && exec "$@"',
        host, ...command.map(String)
    ]);
    const station = {host, folder, child, label : ''};
    child.stderr.on('data', (chunk) => {
        if (String(chunk).includes('请扫描MAC码'))
            child.stdin.write(`${station.label}\n`);
        if (String(chunk).includes('(y/n)'))
            child.stdin.write('y\n');
    });
    station.serve = (label) => {
        station.label = label;
        const out = join(temp('qvboard-'), 'board.bin');
        return promisify(execFile)(bin('quorvane-router'), [
            '--quiet', '--port', String(port), '--crc', '77', '--done', '--out', out,
            '--scan-wait-ms', '60000'
        ]);
    };
    await printed(child, /服务器已启动/);
    return station;
}

// A shift that began two hours ago, whatever the time of the run.
function twoHoursAgo() {
    const t = new Date(Date.now() - 2 * 3600000);
    return `${t.getHours()}:${String(t.getMinutes()).padStart(2, '0')}`;
}

export async function startDashboard(db) {
    const child = spawn(
        bin('quorvane-dashboard'),
        [ '--db', db, '--listen', '127.0.0.1:0', '--target', '30', '--shifts', twoHoursAgo() ],
        {stdio : [ 'ignore', 'pipe', 'inherit' ]});
    return {child, url : (await printed(child, /on (http:\S+)/))[1]};
}

export function launchBrowser() {
    return chromium.launchPersistentContext(temp('qvchromium-'), {
        executablePath : '/usr/bin/chromium',
        viewport : {width : 1280, height : 900},
        args : [
            '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'
        ],
    });
}

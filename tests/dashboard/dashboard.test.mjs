// The dashboard's page in a real browser over a real line: two stations
// write boards through quorvane-router into PostgreSQL, the page shows them.
import assert from 'node:assert/strict';
import {join} from 'node:path';
import {after, before, test} from 'node:test';

import {cleanUp, Cluster, launchBrowser, startDashboard, startStation} from './rig.mjs';

// Waits long enough for a sanitised or loaded machine.
const patient = {
    timeout : 90000
};
const hostile = '<img src=x onerror=alert(1)>';
let cluster, a, b, dashboard, browser, page;
const dialogs = [];

const stop = (child) =>
    child.exitCode !== null || new Promise((resolve) => child.once('exit', resolve).kill());
const row = (p, label) =>
    p.locator('#boards tr.board', {has : p.locator('td.label', {hasText : label})});

async function openPage(url) {
    const p = await browser.newPage();
    p.on('dialog', (d) => dialogs.push(d.message()) && d.dismiss());
    await p.goto(url);
    return p;
}

before(async () => {
    // The dashboard reads as a role that may only SELECT.
    cluster = new Cluster([
        'CREATE DATABASE line', 'CREATE ROLE dash LOGIN', '\\c line',
        'ALTER DEFAULT PRIVILEGES FOR ROLE qv GRANT SELECT ON TABLES TO dash'
    ]);
    const line = cluster.url('line');
    [a, b] = await Promise.all([ startStation('qv-a', line), startStation('qv-b', line) ]);
    await a.serve('5E3A710001A8');
    await b.serve('5E3A710001B8');
    dashboard = await startDashboard(cluster.url('line', 'dash'));
    browser = await launchBrowser();
    page = await openPage(dashboard.url);
});

after(async () => {
    await browser?.close();
    await Promise.all([ dashboard, a, b ].map((program) => program && stop(program.child)));
    cleanUp(cluster);
});

test("both stations' boards appear, each under its station", async () => {
    for (const [label, station] of [[ '5E3A710001A8', 'qv-a' ], [ '5E3A710001B8', 'qv-b' ]]) {
        await row(page, label).waitFor(patient);
        assert.equal(await row(page, label).locator('td.station').textContent(), station);
        assert.equal(await row(page, label).locator('td.mac').first().textContent(), label);
        await page.locator('.tile h3', {hasText : station}).waitFor(patient);
    }
    await page.selectOption('#f-station', 'qv-b'); // the filter by station
    await row(page, '5E3A710001B8').waitFor(patient);
    assert.equal(await row(page, '5E3A710001A8').count(), 0);
    await page.selectOption('#f-station', '');
});

test('a new board appears without a reload', async () => {
    await page.evaluate(() => (window.sameLoad = true));
    await a.serve('5E3A710002A8');
    await row(page, '5E3A710002A8').waitFor(patient);
    assert.equal(await page.evaluate(() => window.sameLoad), true);
});

test('a label written again at the other station shows as an alert', async () => {
    await b.serve('5E3A710001A8');
    const alert =
        page.locator('#alerts li', {hasText : '标签重复写入'}).filter({hasText : '5E3A710001A8'});
    await alert.waitFor(patient);
    assert.match(await alert.textContent(), /qv-a.*qv-b|qv-b.*qv-a/);
    if (process.env.QUORVANE_SCREENSHOT)
        await page.screenshot({path : process.env.QUORVANE_SCREENSHOT, fullPage : true});
});

test('texts from the record show as text, never as HTML', async () => {
    cluster.psql('line', [ `INSERT INTO boards (id, station, folder, label, claimed_at, finished_at,
        outcome) VALUES ('hostile', '<b>qv-x</b>', '${hostile}', '${hostile}',
        ${Date.now()}, ${Date.now()}, 'written-done')` ]);
    await row(page, hostile).waitFor(patient);
    await row(page, hostile).click();
    await page.locator('tr.detail dd', {hasText : hostile}).waitFor(patient);
    assert.equal(await page.locator('#boards img, #boards b').count(), 0);
    assert.equal(await row(page, hostile).locator('td.station').textContent(), '<b>qv-x</b>');
    assert.deepEqual(dialogs, []);
});

test('a station silent for 10 minutes is marked', async () => {
    const t = Date.now() - 11 * 60000;
    cluster.psql('line', [
        `INSERT INTO boards (id, station, folder, label, claimed_at, finished_at,
        outcome) VALUES ('quiet', 'qv-c', '/', '5E3A710009C8', ${t - 60000}, ${t}, 'written-done')`
    ]);
    const quiet = page.locator('.tile.silent', {hasText : 'qv-c'});
    await quiet.waitFor(patient);
    assert.match(await quiet.textContent(), /10分钟没有完成的设备/);
    assert.equal(await page.locator('.tile.silent', {hasText : 'qv-a'}).count(), 0);
});

test('the page over one station\'s SQLite record', async () => {
    const local = await startDashboard(join(a.folder, 'production.db'));
    try {
        const p = await openPage(local.url);
        await row(p, '5E3A710002A8').waitFor(patient);
        await a.serve('5E3A710003A8');
        await row(p, '5E3A710003A8').waitFor(patient);
        assert.equal(await row(p, '5E3A710001B8').count(), 0);
    } finally {
        await stop(local.child);
    }
});

test('after PostgreSQL restarts the page catches up', async () => {
    cluster.ctl('stop');
    await a.serve('5E3A710004A8'); // kept by the station until the line is back
    cluster.ctl('start');
    await row(page, '5E3A710004A8').waitFor(patient);
    await b.serve('5E3A710004B8');
    await row(page, '5E3A710004B8').waitFor(patient);
});

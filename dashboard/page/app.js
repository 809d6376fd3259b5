// The line dashboard: loads the latest boards and the shift's figures, then
// follows the record live.
import {renderAlerts} from './alerts.js';
import {getJson} from './api.js';
import {BoardTable} from './boards.js';
import {ShiftChart} from './chart.js';
import {LinkState, LiveFeed} from './live.js';
import {renderLine, renderTiles, stationRows} from './tiles.js';

const kLatest = 200;
const kOverviewEveryMs = 30000;    // a station falls silent without any event
const kOverviewAfterEventMs = 500; // a burst of boards, one refresh

const $ = (id) => document.getElementById(id);
const table = new BoardTable($('boards').tBodies[0]);
const chart = new ShiftChart($('chart'));
const filter = {
    station : '',
    label : ''
};
let overviewTimer = 0;

const kLinkTexts = {
    [LinkState.connecting] : '连接中',
    [LinkState.live] : '实时',
    [LinkState.retrying] : '连接中断,重新连接中',
};

function showLink(state, problem) {
    const link = $('link');
    link.dataset.state = problem ? 'error' : state;
    link.textContent = problem ?? kLinkTexts[state];
}

async function loadBoards() {
    table.setFilter({...filter});
    const latest = await getJson('/api/boards', {limit : kLatest, ...filter});
    table.merge(latest.boards);
    return latest.cursor;
}

function fillStations(rows) {
    const select = $('f-station');
    const chosen = select.value;
    select.replaceChildren(new Option('全部站点', ''));
    for (const row of rows)
        select.append(new Option(row.station, row.station));
    select.value = chosen;
}

async function refreshOverview() {
    clearTimeout(overviewTimer);
    overviewTimer = setTimeout(refreshOverview, kOverviewEveryMs);
    try {
        const [summary, stations, alerts] = await Promise.all([
            getJson('/api/summary'),
            getJson('/api/stations'),
            getJson('/api/alerts'),
        ]);
        const rows = stationRows(stations.stations, summary);
        renderLine($('line'), summary);
        renderTiles($('tiles'), rows, summary.targetPerStation);
        renderAlerts($('alerts'), $('alert-list'), alerts);
        chart.update(summary.hourly, summary.shiftStart);
        fillStations(rows);
        $('csv').href = `/export.csv?${new URLSearchParams({since : summary.shiftStart})}`;
    } catch (error) {
        console.warn('dashboard: overview', error);
        showLink(LinkState.retrying, '读取失败,稍后重试');
    }
}

function soon() {
    clearTimeout(overviewTimer);
    overviewTimer = setTimeout(refreshOverview, kOverviewAfterEventMs);
}

function watchFilters() {
    const apply = async () => {
        filter.station = $('f-station').value;
        filter.label = $('f-label').value.trim();
        await loadBoards().catch((error) => console.warn('dashboard: boards', error));
    };
    $('f-station').addEventListener('change', apply);
    $('f-label').addEventListener('change', apply);
    $('f-label').addEventListener('search', apply);
    $('filters').addEventListener('submit', (e) => {
        e.preventDefault();
        apply();
    });
}

async function main() {
    watchFilters();
    const feed = new LiveFeed({
        onBoards : (boards) => {
            table.merge(boards);
            soon();
        },
        onCaughtUp : soon,
        onState : (state) => showLink(state),
    });
    // The stream starts at the rows already shown, never at the record's start.
    for (;;) {
        try {
            feed.start(await loadBoards());
            break;
        } catch (error) {
            console.warn('dashboard: boards', error);
            showLink(LinkState.retrying, '读取失败,稍后重试');
            await new Promise((resolve) => setTimeout(resolve, 3000));
        }
    }
    refreshOverview();
}

main();

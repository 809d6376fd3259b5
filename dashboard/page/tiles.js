// A tile per station, and the line's figures in the header.
import {append, clear, el} from './dom.js';
import {durationText, rateText, timeText} from './format.js';

function figure(name, value, className = '') {
    return append(el('div', `figure ${className}`), el('span', 'name', name),
                  el('span', 'value', value));
}

// Stations known to the record and those with boards this shift, by name.
export function stationRows(stations, summary) {
    const byName = new Map();
    for (const s of stations)
        byName.set(s.station,
                   {station : s.station, silent : s.silent, lastBoardAt : s.lastBoardAt});
    for (const s of summary.stations)
        byName.set(s.station, {...byName.get(s.station), ...s});
    return [...byName.values() ].sort((a, b) => String(a.station).localeCompare(String(b.station)));
}

export function renderTiles(container, rows, target) {
    clear(container);
    for (const s of rows) {
        const tile = el('article', s.silent ? 'tile silent' : 'tile');
        tile.dataset.station = s.station;
        const goal = s.target ?? target;
        const behind = goal && s.boardsPerHour < goal ? 'behind' : '';
        append(
            tile,
            el('h3', 'station', s.station),
            figure('本班已写', s.written ?? 0),
            figure('失败', s.failed ?? 0, s.failed ? 'bad' : ''),
            figure('每小时', rateText(s.boardsPerHour, goal), behind),
            figure('最后一台', timeText(s.lastBoardAt)),
        );
        if (s.silent)
            tile.append(el('p', 'mark', '10分钟没有完成的设备'));
        container.append(tile);
    }
    if (rows.length === 0)
        container.append(el('p', 'empty', '本班还没有站点写入记录'));
}

export function renderLine(container, summary) {
    const line = summary.line;
    clear(container);
    append(
        container,
        figure('全线已写', line.written),
        figure('失败', line.failed, line.failed ? 'bad' : ''),
        figure('再次传输', line.fetchedAgain),
        figure('每小时', rateText(line.boardsPerHour, line.target)),
        figure('中位用时', durationText(line.medianMs)),
        figure('90%用时', durationText(line.p90Ms)),
        figure('本班开始', timeText(summary.shiftStart)),
    );
}

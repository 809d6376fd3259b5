// The alerts at the top: a label written more than once, a MAC triple on
// more than one board.
import {append, clear, el} from './dom.js';
import {timeText} from './format.js';

function places(boards) {
    return boards.map((b) => `${b.station} ${timeText(b.finishedAt)}`).join('，');
}

function item(kind, what, count, boards) {
    return append(
        el('li', 'alert'),
        el('span', 'kind', kind),
        el('span', 'what', what),
        el('span', 'count', `${count}次`),
        el('span', 'places', places(boards)),
    );
}

export function renderAlerts(section, list, alerts) {
    clear(list);
    for (const a of alerts.labels)
        list.append(item('标签重复写入', a.label, a.boards.length, a.boards));
    for (const a of alerts.macs)
        list.append(item('MAC重复', a.baseMac, a.boards.length, a.boards));
    section.hidden = list.childElementCount === 0;
}

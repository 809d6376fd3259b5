// The live table of the latest boards: rows keyed by id, newest claim first,
// a board's detail (folder, images' names and CRCs) under its row on a click.
import {append, clear, el} from './dom.js';
import {durationText, outcomeKind, outcomeText, sizeText, timeText} from './format.js';

const kShown = 200;

function newestFirst(a, b) {
    return Date.parse(b.claimedAt ?? 0) - Date.parse(a.claimedAt ?? 0) ||
           String(b.id).localeCompare(String(a.id));
}

// The same test the server applies to station=S&label=L.
export function matches(board, filter) {
    if (filter.station && board.station !== filter.station)
        return false;
    return !filter.label || String(board.label).toUpperCase() === filter.label.toUpperCase();
}

export class BoardTable {
    constructor(tbody) {
        this.tbody = tbody;
        this.rows = new Map();
        this.open = new Set();
        this.filter = {station : '', label : ''};
        tbody.addEventListener('click', (e) => this.toggle(e));
    }

    // From now on only rows that match: live ones arriving while the matching
    // latest rows are read are kept.
    setFilter(filter) {
        this.filter = filter;
        this.rows.clear();
        this.merge([]);
    }

    // A row seen again replaces the one held only when it is a later change.
    merge(boards) {
        for (const board of boards) {
            if (!matches(board, this.filter))
                continue;
            const held = this.rows.get(board.id);
            if (!held || Number(board.change) >= Number(held.change))
                this.rows.set(board.id, board);
        }
        const sorted = [...this.rows.values() ].sort(newestFirst);
        for (const stale of sorted.slice(kShown))
            this.rows.delete(stale.id);
        this.render(sorted.slice(0, kShown));
    }

    toggle(e) {
        const row = e.target.closest('tr.board');
        if (!row)
            return;
        const id = row.dataset.id;
        if (!this.open.delete(id))
            this.open.add(id);
        this.render([...this.rows.values() ].sort(newestFirst));
    }

    render(boards) {
        clear(this.tbody);
        if (boards.length === 0) {
            const empty = append(el('tr', 'empty'), el('td', '', '没有符合条件的设备'));
            empty.firstChild.colSpan = 8;
            this.tbody.append(empty);
        }
        for (const board of boards) {
            this.tbody.append(this.row(board));
            if (this.open.has(board.id))
                this.tbody.append(this.detail(board));
        }
    }

    row(board) {
        const tr = el('tr', 'board');
        tr.dataset.id = board.id;
        if (board.reburn)
            tr.classList.add('reburn');
        append(
            tr,
            el('td', 'label', board.label),
            el('td', 'mac', board.baseMac),
            el('td', 'mac', board.modelMac),
            el('td', 'mac', board.wanMac),
            el('td', '', board.modelName || board.modelCode),
            el('td', `outcome ${outcomeKind(board.outcome)}`, outcomeText(board.outcome)),
            el('td', 'time', timeText(board.finishedAt ?? board.claimedAt)),
            el('td', 'station', board.station),
        );
        return tr;
    }

    detail(board) {
        const facts = el('dl');
        const fact = (name, value) => append(facts, el('dt', '', name), el('dd', '', value));
        fact('文件夹', board.folder);
        fact('开始', timeText(board.claimedAt));
        fact('用时', durationText(board.elapsedMs));
        fact('再次传输', board.refetches);
        fact('重烧', board.reburn || '—');
        const images = el('table', 'images');
        append(images, append(el('tr'), el('th', '', '镜像'), el('th', '', '文件名'),
                              el('th', '', '大小'), el('th', '', 'CRC')));
        for (const [key, name] of [[ 'bootloader', '引导程序' ], [ 'root', '根文件系统' ],
                                   [ 'config', '出厂配置' ]]) {
            const image = board[key];
            if (!image || !image.name)
                continue;
            append(images, append(el('tr'), el('th', '', name), el('td', '', image.name),
                                  el('td', '', sizeText(image.size)), el('td', 'mac', image.crc)));
        }
        const cell = append(el('td'), facts, images);
        cell.colSpan = 8;
        const tr = append(el('tr', 'detail'), cell);
        tr.dataset.id = board.id;
        return tr;
    }
}

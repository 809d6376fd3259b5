// The server's event stream, one event per new or changed row. After any
// break the page asks for every row changed since the last change it holds
// (the cursor), so nothing written meanwhile is missed; rows are keyed by id,
// so one seen twice does no harm.
import {getJson} from './api.js';

export const LinkState = Object.freeze({
    connecting : 'connecting',
    live : 'live',
    retrying : 'retrying',
});

// What happens to the link on each event of the stream.
const kNext = {
    [LinkState.connecting] : {open : LinkState.live, error : LinkState.retrying},
    [LinkState.live] : {open : LinkState.live, error : LinkState.retrying},
    [LinkState.retrying] : {open : LinkState.live, error : LinkState.retrying},
};

const kReopenMs = 3000;
const kPage = 1000;

export class LiveFeed {
    constructor({onBoards, onCaughtUp, onState}) {
        this.onBoards = onBoards;
        this.onCaughtUp = onCaughtUp;
        this.onState = onState;
        this.state = LinkState.connecting;
        this.cursor = 0;
        this.source = null;
        this.missed = false; // a break since the stream last opened
    }

    start(cursor) {
        this.cursor = Number(cursor) || 0;
        this.open();
    }

    open() {
        this.source = new EventSource(`/events?since=${this.cursor}`);
        this.source.addEventListener('board', (e) => this.board(e));
        this.source.addEventListener('open', () => this.move('open'));
        this.source.addEventListener('error', () => this.move('error'));
    }

    move(event) {
        const was = this.state;
        this.state = kNext[was][event];
        this.onState(this.state);
        if (event === 'error') {
            this.missed = true;
            // The browser retries by itself unless the server refused the
            // stream (full, restarting): then the page opens a new one.
            if (this.source.readyState === EventSource.CLOSED) {
                this.source.close();
                setTimeout(() => this.open(), kReopenMs);
            }
        } else if (this.missed) {
            this.missed = false;
            this.catchUp();
        }
    }

    board(e) {
        let board;
        try {
            board = JSON.parse(e.data);
        } catch {
            console.warn('dashboard: an event that is not JSON was ignored');
            return;
        }
        this.advance(Number(e.lastEventId) || board.change);
        this.onBoards([ board ]);
    }

    advance(change) {
        if (Number.isFinite(change) && change > this.cursor)
            this.cursor = change;
    }

    async catchUp() {
        try {
            // The server answers the oldest changes first, a page at a time.
            for (let page = kPage; page === kPage;) {
                const from = this.cursor;
                const changed = await getJson('/api/boards', {since : from, limit : kPage});
                this.advance(Number(changed.cursor));
                this.onBoards(changed.boards);
                page = this.cursor > from ? changed.boards.length : 0;
            }
            this.onCaughtUp();
        } catch (error) {
            console.warn('dashboard: catching up failed', error);
            setTimeout(() => this.catchUp(), kReopenMs);
        }
    }
}

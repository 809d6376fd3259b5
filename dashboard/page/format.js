// Texts of the page from the record's values: pure functions.

// The record's own outcome words, as the station says them.
const kOutcomes = {
    'written-done' : '写入完成',
    'written-timer' : '写入完成(计时)',
    'fetched-again' : '再次传输',
    'scan-cancelled' : '取消扫描',
    'reburn-refused' : '拒绝重烧',
    released : '已释放',
    stopped : '服务停止',
    delivered : '已发送',
    prepared : '已准备',
    'in-progress' : '进行中',
};

export function outcomeText(outcome) { return kOutcomes[outcome] ?? String(outcome ?? ''); }

// "good", "bad" or "busy": the colour of an outcome.
export function outcomeKind(outcome) {
    if (outcome === 'written-done' || outcome === 'written-timer')
        return 'good';
    if (outcome === 'in-progress' || outcome === 'prepared' || outcome === 'delivered')
        return 'busy';
    return 'bad';
}

function pad(n) { return String(n).padStart(2, '0'); }

// Local time of an ISO 8601 text: "14:03:27", with the date when it is
// not today's; "—" for none.
export function timeText(iso, now = new Date()) {
    if (!iso)
        return '—';
    const t = new Date(iso);
    if (Number.isNaN(t.getTime()))
        return String(iso);
    const clock = `${pad(t.getHours())}:${pad(t.getMinutes())}:${pad(t.getSeconds())}`;
    return t.toDateString() === now.toDateString()
               ? clock
               : `${t.getFullYear()}-${pad(t.getMonth() + 1)}-${pad(t.getDate())} ${clock}`;
}

export function durationText(ms) {
    if (ms === null || ms === undefined || ms < 0)
        return '—';
    const s = Math.round(ms / 1000);
    return s < 60 ? `${s}秒` : `${Math.floor(s / 60)}分${pad(s % 60)}秒`;
}

// "12.5 / 30": boards per hour against the target, when there is one.
export function rateText(perHour, target) {
    const rate = perHour === null || perHour === undefined ? '—' : Number(perHour).toFixed(1);
    return target ? `${rate} / ${target}` : rate;
}

export function sizeText(bytes) {
    if (!bytes)
        return '0';
    return bytes < 1024 * 1024 ? `${(bytes / 1024).toFixed(1)} KiB`
                               : `${(bytes / 1048576).toFixed(2)} MiB`;
}

// Boards per hour per station, for the chart: every hour of the shift so far
// in order (the hours the server names, and each hour from the one the shift
// began in to now), and one series per station, 0 where it wrote nothing.
export function hourlySeries(hourly, shiftStart, now = Date.now()) {
    const kHour = 3600000;
    const named = hourly.map((h) => Date.parse(h.hour));
    const first = Math.min(Date.parse(shiftStart) || Infinity, ...named);
    const all = new Set(named);
    const hour = new Date(first); // local hours, as the server counts them
    hour.setMinutes(0, 0, 0);
    for (let t = hour.getTime(); t <= now && all.size < 48; t += kHour)
        all.add(t);
    const hours = [...all ].sort((a, b) => a - b);
    const stations = [...new Set(hourly.map((h) => h.station)) ].sort();
    const series = stations.map((station) => {
        const counts = new Map();
        for (const h of hourly)
            if (h.station === station)
                counts.set(Date.parse(h.hour), h.boards);
        return hours.map((hour) => counts.get(hour) ?? 0);
    });
    return {hours : hours.map((ms) => ms / 1000), stations, series};
}

// The line's shift chart: boards per hour, one series per station (uPlot,
// loaded by its own script tag as the global uPlot).
import {clear, el} from './dom.js';
import {hourlySeries} from './format.js';

function hourText(seconds) {
    const t = new Date(seconds * 1000);
    return `${t.getHours()}:${String(t.getMinutes()).padStart(2, '0')}`;
}

const kColours =
    [ '#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#17becf', '#8c564b', '#e377c2' ];

export class ShiftChart {
    constructor(container) {
        this.container = container;
        this.plot = null;
        this.stations = '';
        window.addEventListener('resize', () => this.plot?.setSize(this.size()));
    }

    size() { return {width : Math.max(this.container.clientWidth, 300), height : 240}; }

    update(hourly, shiftStart) {
        const {hours, stations, series} = hourlySeries(hourly, shiftStart);
        if (stations.length === 0) {
            this.plot?.destroy();
            this.plot = null;
            this.stations = '';
            clear(this.container).append(el('p', 'empty', '本班还没有写入的设备'));
            return;
        }
        const data = [ hours, ...series ];
        const key = JSON.stringify(stations);
        if (this.plot && key === this.stations) {
            this.plot.setData(data);
            return;
        }
        this.plot?.destroy();
        clear(this.container);
        this.stations = key;
        this.plot = new globalThis.uPlot(
            {
                ...this.size(),
                scales : {
                    x : {time : true, range : (u, min, max) => [min, Math.max(max, min + 3600)]},
                    y : {range : (u, min, max) => [0, Math.max(max, 1)]}
                },
                axes : [ {values : (u, ticks) => ticks.map(hourText)}, {label : '台/小时'} ],
                series : [
                    {label : '时间'},
                    ...stations.map((station, i) => ({
                                        label : station,
                                        stroke : kColours[i % kColours.length],
                                        width : 2,
                                        points : {show : true, size : 6},
                                    })),
                ],
            },
            data,
            this.container,
        );
    }
}

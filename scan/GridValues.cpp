#include "GridValues.h"

#include <algorithm>
#include <cmath>

namespace plotrun {

namespace {

// More lines than this are never worth drawing, whatever the room.
constexpr double kMostLines = 1000;

// One axis of the chart map, with the members of an AxisMap that the grid uses.
struct ChartMapAxis {
    const ChartMap& map;
    bool y;
    double toReal(double bitmap) const { return y ? map.realY(bitmap) : map.realX(bitmap); }
    double toBitmap(double real) const { return y ? map.bitmapY(real) : map.bitmapX(real); }
    bool logarithmic() const { return y ? map.logY() : map.logX(); }
    bool usable() const { return y ? map.usableY() : map.usableX(); }
};

template <class Map>
std::vector<GridValue> linearValues(const Map& map, double lo, double hi, double room)
{
    const double raw = (hi - lo) / room;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * decade;
    for (double f : {1.0, 2.0, 5.0})
        if (f * decade >= raw) {
            step = f * decade;
            break;
        }
    std::vector<GridValue> out;
    const double first = std::ceil(lo / step), last = std::floor(hi / step);
    if (!(last - first < kMostLines))
        return out;
    for (double i = first; i <= last; ++i) {
        const double v = i * step + 0.0; // never a negative zero
        out.push_back({v, map.toBitmap(v)});
    }
    return out;
}

template <class Map>
std::vector<GridValue> logValues(const Map& map, double lo, double hi, double room)
{
    const double dlo = std::log10(lo), dhi = std::log10(hi);
    const double decades = dhi - dlo;
    // The narrowest gaps are those from 1 to 2 and from 5 to 10: log10(2) of a decade.
    const bool between = room * std::log10(2.0) >= decades;
    const double every = std::max(1.0, std::ceil(decades / room));
    std::vector<GridValue> out;
    const double first = std::floor(dlo / every) * every, last = std::ceil(dhi);
    if (!((last - first) / every < kMostLines))
        return out;
    for (double k = first; k <= last; k += every) {
        for (double f : {1.0, 2.0, 5.0}) {
            if (f != 1 && !between)
                break;
            const double v = f * std::pow(10.0, k);
            if (v >= lo && v <= hi && std::isfinite(v) && v > 0)
                out.push_back({v, map.toBitmap(v)});
        }
    }
    return out;
}

template <class Map>
std::vector<GridValue> valuesAlong(const Map& map, double from, double to, double room)
{
    if (!map.usable() || !(room >= 1))
        return {};
    double lo = map.toReal(from), hi = map.toReal(to);
    if (lo > hi)
        std::swap(lo, hi);
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        return {};
    room = std::min(room, kMostLines);
    if (map.logarithmic())
        return lo > 0 ? logValues(map, lo, hi, room) : std::vector<GridValue>{};
    return linearValues(map, lo, hi, room);
}

} // namespace

std::vector<GridValue> gridValues(const AxisMap& map, double from, double to, double room)
{
    return valuesAlong(map, from, to, room);
}

std::vector<GridValue> gridValues(const ChartMap& map, ChartAxis axis, double from, double to, double room)
{
    return valuesAlong(ChartMapAxis{map, axis == ChartAxis::Y}, from, to, room);
}

} // namespace plotrun

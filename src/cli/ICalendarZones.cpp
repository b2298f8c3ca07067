// The clock changes of the time zones a calendar defines.
#include "ICalendarParts.h"

#include <QLocale>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace ICalendar {

namespace {

// Seconds of a wall-clock date and time, counted as if from 1970-01-01
// 00:00 in UTC; nullopt for a date that does not exist.
std::optional<qint64> secondsOf(const icaltimetype &t)
{
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid())
        return std::nullopt;
    constexpr qint64 kJulianDay1970 = 2440588;
    return (date.toJulianDay() - kJulianDay1970) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

// How much of libical's work one year of a rule stands for: libical goes
// through every combination of the rule's lists, and costs a step of a
// year at least.
int weightOf(const icalrecurrencetype &rule)
{
    const auto size = [](const auto &list) {
        qint64 n = 0;
        while (n < qint64(std::size(list)) && list[n] != ICAL_RECURRENCE_ARRAY_MAX)
            ++n;
        return qMax<qint64>(1, n);
    };
    qint64 weight = 1;
    for (const qint64 n :
         {size(rule.by_second), size(rule.by_minute), size(rule.by_hour), size(rule.by_day), size(rule.by_month_day),
          size(rule.by_year_day), size(rule.by_week_no), size(rule.by_month), size(rule.by_set_pos)})
        weight = qMin<qint64>(weight * n, kZoneSteps + 1);
    return int(weight);
}

struct IteratorFree {
    void operator()(icalrecur_iterator *i) const { icalrecur_iterator_free(i); }
};

} // namespace

// The clock changes of a VTIMEZONE, worked out here rather than by libical.
// libical expands every rule from its start, however often it repeats (an
// hourly rule from 1601 takes minutes and gigabytes), and it expands a zone
// anew for every time after the last year it covers, 2582. Here only yearly
// rules are followed, the only kind time zones have, each once and only as
// far as the times asked for need, within kZoneSteps shared by all the zones
// of a calendar: a step for each observance and each RDATE, and for each
// year a rule is followed as many steps as the combinations of its lists.
// The changes are found as libical finds them, and the offset at a time is
// chosen as libical chooses it.
class ZoneRules
{
public:
    using Refused = Zones::Refused;

    ZoneRules(icalcomponent *vtimezone, int &steps)
        : steps_(steps)
    {
        if (!vtimezone)
            return; // UTC, or a zone libical could not load: no change at all
        for (icalcomponent *c = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(c);
            if (kind == ICAL_XSTANDARD_COMPONENT || kind == ICAL_XDAYLIGHT_COMPONENT)
                addObservance(c, kind == ICAL_XDAYLIGHT_COMPONENT);
        }
        sorted_ = false;
    }

    // The offset from UTC, in seconds, of a wall-clock time of the zone.
    int offsetAt(qint64 wallSeconds, int year)
    {
        cover(year);
        const auto after = std::upper_bound(changes_.cbegin(), changes_.cend(), wallSeconds,
                                            [](qint64 t, const Change &c) { return t < c.onset; });
        if (after == changes_.cbegin())
            return changes_.empty() ? 0 : changes_.front().before;
        const Change &change = *(after - 1);
        // A time the clocks go back over is read in standard time.
        if (change.after < change.before && after - 1 != changes_.cbegin()
            && wallSeconds < change.utc + change.before) {
            const Change &previous = *(after - 2);
            if (change.daylight && !previous.daylight)
                return previous.after;
        }
        return change.after;
    }

private:
    struct Change {
        qint64 onset; // the first wall-clock time the change governs: its moment at the lower offset
        qint64 utc;
        int before;
        int after;
        bool daylight;
    };
    struct Rule {
        std::unique_ptr<icalrecur_iterator, IteratorFree> iterator;
        icaltimetype start;
        int before;
        int after;
        bool daylight;
        int weight;    // steps for each year followed
        int count;     // COUNT, or 0
        int untilYear; // the year of UNTIL, or as far as libical goes
        int year = 0;  // of the last occurrence read
        int occurrences = 0;
    };

    // libical follows no rule past this year.
    static constexpr int kRulesEnd = 2582;

    void spend(qint64 n)
    {
        steps_ = int(qMin<qint64>(steps_ + n, kZoneSteps + 1));
        if (steps_ > kZoneSteps) {
            throw Refused{
                QStringLiteral("whose clock changes, with those of the calendar's other time zones, take more "
                               "than %1 steps to work out")
                    .arg(QLocale(QLocale::English).toString(kZoneSteps))};
        }
    }

    void add(const icaltimetype &at, bool isUtc, int before, int after, bool daylight)
    {
        const std::optional<qint64> seconds = secondsOf(at);
        if (!seconds)
            return;
        const qint64 utc = isUtc ? *seconds : *seconds - before;
        changes_.push_back(Change{utc + qMin(before, after), utc, before, after, daylight});
        sorted_ = false;
    }

    void addObservance(icalcomponent *c, bool daylight)
    {
        spend(1);
        // As libical reads an observance: the last of each property counts.
        icaltimetype start = icaltime_null_time();
        bool haveStart = false, haveTo = false, haveFrom = false, haveRule = false;
        int to = 0, from = 0;
        for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
            switch (icalproperty_isa(p)) {
            case ICAL_DTSTART_PROPERTY:
                start = icalproperty_get_dtstart(p);
                haveStart = true;
                break;
            case ICAL_TZOFFSETTO_PROPERTY:
                to = icalproperty_get_tzoffsetto(p);
                haveTo = true;
                break;
            case ICAL_TZOFFSETFROM_PROPERTY:
                from = icalproperty_get_tzoffsetfrom(p);
                haveFrom = true;
                break;
            case ICAL_RRULE_PROPERTY:
                haveRule = true;
                break;
            default:
                break;
            }
        }
        if (haveTo && !haveFrom)
            from = to;
        if (!haveStart || !haveTo)
            return;
        if (!haveRule)
            add(start, false, from, to, daylight);
        for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
            if (icalproperty_isa(p) == ICAL_RDATE_PROPERTY) {
                spend(1);
                icaltimetype at = icalproperty_get_rdate(p).time;
                if (at.is_date) {
                    // A date takes the time of DTSTART, which libical then
                    // takes as UTC.
                    at.hour = start.hour;
                    at.minute = start.minute;
                    at.second = start.second;
                    add(at, true, from, to, daylight);
                } else {
                    add(at, icaltime_is_utc(at), from, to, daylight);
                }
            } else if (icalproperty_isa(p) == ICAL_RRULE_PROPERTY) {
                addRule(icalproperty_get_rrule(p), start, from, to, daylight);
            }
        }
    }

    void addRule(icalrecurrencetype rule, const icaltimetype &start, int from, int to, bool daylight)
    {
        if (rule.freq != ICAL_YEARLY_RECURRENCE && rule.freq != ICAL_NO_RECURRENCE)
            throw Refused{QStringLiteral("whose clock changes repeat more often than once a year")};
        // An UNTIL in UTC is met at the offset the observance starts from.
        if (!icaltime_is_null_time(rule.until) && icaltime_is_utc(rule.until)) {
            icaltime_adjust(&rule.until, 0, 0, 0, from);
            rule.until.zone = nullptr;
        }
        add(start, false, from, to, daylight);
        // An RRULE that cannot be read gives no iterator, and libical then
        // keeps only DTSTART.
        std::unique_ptr<icalrecur_iterator, IteratorFree> iterator(icalrecur_iterator_new(rule, start));
        if (!iterator)
            return;
        const int untilYear = icaltime_is_null_time(rule.until) ? kRulesEnd : qMin(rule.until.year, kRulesEnd);
        rules_.push_back(
            Rule{std::move(iterator), start, from, to, daylight, weightOf(rule), rule.count, untilYear, start.year});
    }

    // Every change up to the end of the year after `year` is known.
    void cover(int year)
    {
        if (year >= coveredUntil_) {
            // Times in ascending years extend the changes a stretch at a time.
            coveredUntil_ = qMax(year + 1, coveredUntil_ + 16);
            for (Rule &rule : rules_) {
                while (rule.iterator && rule.year <= coveredUntil_) {
                    const icaltimetype next = icalrecur_iterator_next(rule.iterator.get());
                    if (icaltime_is_null_time(next)) {
                        // Unless its COUNT ran out, libical looked for the
                        // next occurrence up to the rule's end.
                        const bool counted = rule.count > 0 && rule.occurrences >= rule.count;
                        spend(qint64(rule.weight) * qMax(1, counted ? 1 : rule.untilYear - rule.year));
                        rule.iterator.reset();
                        break;
                    }
                    spend(qint64(rule.weight) * qMax(1, next.year - rule.year));
                    rule.year = next.year;
                    ++rule.occurrences;
                    if (icaltime_compare(rule.start, next) != 0)
                        add(next, false, rule.before, rule.after, rule.daylight);
                }
            }
        }
        if (!sorted_) {
            std::stable_sort(changes_.begin(), changes_.end(), [](const Change &a, const Change &b) {
                return a.onset != b.onset ? a.onset < b.onset : a.utc < b.utc;
            });
            sorted_ = true;
        }
    }

    int &steps_;
    std::vector<Rule> rules_;
    std::vector<Change> changes_;
    int coveredUntil_ = std::numeric_limits<int>::min();
    bool sorted_ = true;
};

Zones::Zones() = default;
Zones::~Zones() = default;

int Zones::offsetAt(icaltimezone *zone, qint64 wallSeconds, int year)
{
    std::unique_ptr<ZoneRules> &rules = libical_[zone];
    try {
        if (!rules)
            rules = std::make_unique<ZoneRules>(icaltimezone_get_component(zone), steps_);
        return rules->offsetAt(wallSeconds, year);
    } catch (const Refused &) {
        // Rules a refusal cut short are not to be asked again half worked out.
        rules.reset();
        throw;
    }
}

QTimeZone Zones::byName(const QByteArray &tzid)
{
    const auto known = qt_.constFind(tzid);
    if (known != qt_.cend())
        return *known;
    QByteArray id = tzid;
    if (!QTimeZone::isTimeZoneIdAvailable(id))
        id = QTimeZone::windowsIdToDefaultIanaId(tzid);
    const QTimeZone zone = !id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id) ? QTimeZone(id) : QTimeZone();
    qt_.insert(tzid, zone);
    return zone;
}

} // namespace ICalendar

#ifndef DEVICELINK_ROUTECHECK_H
#define DEVICELINK_ROUTECHECK_H

#include <QMap>
#include <QVector>

#include <optional>

namespace devicelink {

// Wanted routes: output -> input, the last request for an output wins.
using Routes = QMap<int, int>;

// What became of one wanted route.
struct RouteResult
{
    enum Verdict {
        Taken, // the routing map shows it
        NotTaken, // the routing map shows another input there (found)
        NoSuchOutput, // the routing map has fewer outputs
        Unconfirmed, // no routing map came: it may or may not have been taken
    };

    int output = 0;
    int input = 0;
    Verdict verdict = Unconfirmed;
    int found = 0; // NotTaken: the input the map shows on the output
};

// The wanted routes judged against the map the device reported, or against
// no map at all when none came in time.
struct RouteCheck
{
    std::optional<QVector<int>> map; // entry j: the input of output j + 1
    QVector<RouteResult> routes; // by output, ascending

    bool confirmed() const { return map.has_value(); }
    bool allTaken() const;
    int count(RouteResult::Verdict verdict) const;
};

// True when every wanted route is on the map.
bool routesHold(const Routes &wanted, const QVector<int> &map);
RouteCheck checkRoutes(const Routes &wanted, const std::optional<QVector<int>> &map);

} // namespace devicelink

#endif // DEVICELINK_ROUTECHECK_H

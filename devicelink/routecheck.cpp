#include "devicelink/routecheck.h"

#include <algorithm>

namespace devicelink {

bool RouteCheck::allTaken() const
{
    return confirmed() && count(RouteResult::Taken) == routes.size();
}

int RouteCheck::count(RouteResult::Verdict verdict) const
{
    return int(std::count_if(routes.begin(), routes.end(),
                             [verdict](const RouteResult &r) { return r.verdict == verdict; }));
}

bool routesHold(const Routes &wanted, const QVector<int> &map)
{
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (it.key() < 1 || it.key() > map.size() || map.at(it.key() - 1) != it.value())
            return false;
    }
    return true;
}

RouteCheck checkRoutes(const Routes &wanted, const std::optional<QVector<int>> &map)
{
    RouteCheck check {map, {}};
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        RouteResult result {it.key(), it.value(), RouteResult::Unconfirmed, 0};
        if (map) {
            if (it.key() < 1 || it.key() > map->size()) {
                result.verdict = RouteResult::NoSuchOutput;
            } else {
                result.found = map->at(it.key() - 1);
                result.verdict
                    = result.found == it.value() ? RouteResult::Taken : RouteResult::NotTaken;
            }
        }
        check.routes.append(result);
    }
    return check;
}

} // namespace devicelink

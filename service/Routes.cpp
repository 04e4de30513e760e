#include "service/Routes.h"

#include "service/ServiceState.h"
#include "service/Wire.h"

#include <httplib.h>

#include <array>
#include <mutex>

namespace RefService {

namespace {

const std::array ROUTES = {
    Route{GetOrPost, Route::Match::Path, QLatin1String("/cacheversion.txt"), answerRevision},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/getstreams.php"), answerCatalogue},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/getppv.php"), answerPpv},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/yp.xml"), answerDirectory},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/brokenstreamreport.php"), answerServiceRequest},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/tul/prog/streamtips.php"), answerServiceRequest},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/tul/prog/recruitperson.php"), answerServiceRequest},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/ppvshow.php"), answerPpvShow},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/getPPVDescription.php"), answerPpvDescription},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/ppv/ppvorder.php"), answerOrder},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/ppv/ppvorder_verify.php"), answerOrderVerify},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/viewforum.php"), answerForum},
    // After the fixed paths: an update path set to one of them does not
    // take its requests.
    Route{GetOrPost, Route::Match::UpdatePath, QLatin1String(), answerUpdate},
    Route{GetOrPost, Route::Match::Path, QLatin1String("/"), answerIndex},
};

} // namespace

std::span<const Route> routes()
{
    return ROUTES;
}

const Route *findRoute(ServiceState &state, const std::string &method, const QString &path)
{
    const unsigned wanted = method == "POST" ? Post : Get;
    for (const Route &route : ROUTES) {
        if (!(route.methods & wanted))
            continue;
        switch (route.match) {
        case Route::Match::Path:
            if (path == route.path)
                return &route;
            break;
        case Route::Match::UpdatePath: {
            std::lock_guard<std::mutex> lock(state.mutex);
            if (path == state.updatePath)
                return &route;
            break;
        }
        }
    }
    return nullptr;
}

void route(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    const Route *found = findRoute(state, req.method, targetPath(req.target));
    (found ? found->answer : answerUnknown)(state, req, res);
}

} // namespace RefService

#include "service/ServiceState.h"

namespace RefService {

QByteArray ServiceState::catalogueDocumentLocked() const
{
    if (!catalogueOverride.isNull())
        return catalogueOverride;
    CatalogueInfo info;
    info.motd = motd;
    info.updateUrl = updateUrl;
    return demoCatalogue(hostPortLocked(), info);
}

QByteArray ServiceState::directoryDocumentLocked() const
{
    if (!directoryOverride.isNull())
        return directoryOverride;
    if (directoryCount >= 0)
        return generateDirectory(directoryCount, hostPortLocked());
    return demoDirectory(hostPortLocked());
}

std::vector<PpvRental> ServiceState::rentalsLocked(const QString &serial) const
{
    std::vector<PpvRental> out = globalRentals;
    const auto it = rentalsBySerial.constFind(serial);
    if (it != rentalsBySerial.constEnd())
        out.insert(out.end(), it->begin(), it->end());
    return out;
}

const PpvMovie *ServiceState::movieLocked(int id) const
{
    for (const PpvMovie &m : movies) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

} // namespace RefService

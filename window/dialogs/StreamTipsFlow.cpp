#include "window/dialogs/StreamTipsFlow.h"

#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/dialogs/SendFlow.h"
#include "window/dialogs/StreamTipsDialog.h"

std::optional<QStringList> StreamTipsFlow::choices(const std::vector<StreamFilterPtr> &entries)
{
    if (entries.empty())
        return std::nullopt;
    QStringList texts;
    for (std::size_t i = 1; i < entries.size(); ++i)
        texts.append(entries[i] ? entries[i]->getText() : QString());
    return texts;
}

bool StreamTipsFlow::run(QWidget *parent, StreamsManager &manager, StreamsView &allView,
                         const TulErrorHandler &showError)
{
    const std::optional<QStringList> categories = choices(allView.getCategories());
    const std::optional<QStringList> languages = choices(allView.getLanguages());
    const std::optional<QStringList> countries = choices(allView.getCountries());

    StreamInfoPtr stream;
    QString description;
    {
        StreamTipsDialog dialog(parent, categories, languages, countries);
        dialog.exec();
        stream = dialog.getStream();
        description = dialog.getDescription();
    }
    if (!stream)
        return false;
    return SendFlow::sendAndConfirm(
        parent, [&] { manager.streamTips(*stream, description); }, showError,
        QStringLiteral("MESSAGEBOX_STREAMTIPS_SENDT_TITLE"), QStringLiteral("MESSAGEBOX_STREAMTIPS_SENDT_MESSAGE"));
}

#include "window/dialogs/StreamTipsDialog.h"

#include "catalogue/LangMsg.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/PlainText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
QString labelText(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key)) + QStringLiteral(": ");
}

// Widget texts as they stand; an empty field gives the empty text, never a
// null one.
QString textOf(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QComboBox *editableCombo(QWidget *parent, const std::optional<QStringList> &items)
{
    auto *combo = new QComboBox(parent);
    combo->setEditable(true);
    // Typed text is taken as it stands and never becomes a choice.
    combo->setInsertPolicy(QComboBox::NoInsert);
    // The choices come from the catalogue: each shows its start and keeps
    // its whole text, which a chosen entry sends.
    if (items) {
        for (const QString &item : *items)
            combo->addItem(shownText(item), item);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
    return combo;
}

// The combo's text: the whole text of the entry it shows, else what was
// typed.
QString chosenText(const QComboBox *combo)
{
    const int index = combo->currentIndex();
    if (index >= 0 && combo->itemText(index) == combo->currentText())
        return combo->itemData(index).toString();
    return combo->currentText();
}
} // namespace

QStringList StreamTipsDialog::formatChoices()
{
    return {QStringLiteral("WindowsMediaPlayer"), QStringLiteral("RealPlayer"), QStringLiteral("Quicktime")};
}

int StreamTipsDialog::parseBitrate(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    if (!number.match(text).hasMatch())
        return 0;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
}

StreamTipsDialog::StreamTipsDialog(QWidget *parent, const std::optional<QStringList> &categories,
                                   const std::optional<QStringList> &languages,
                                   const std::optional<QStringList> &countries)
    : ModalDialog(parent), categoryItems(categories), languageItems(languages), countryItems(countries),
      formatItems(formatChoices())
{
    setWindowTitle(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_TITLE")));
    placeDialog(OFFSET_X, OFFSET_Y, WIDTH, HEIGHT);

    QGridLayout *grid = makeEvenGrid(3);

    // The text fields keep their widths; none of them fills its cells.
    auto textField = [this](int widthHint) {
        auto *field = new QLineEdit(this);
        field->setFixedWidth(widthHint);
        return field;
    };

    labelName = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_NAME"), this);
    textName = textField(150);
    labelHomepageUrl = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_HOMRPAGE_URL"), this);
    textHomepageUrl = textField(300);
    labelUrl = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_URL"), this);
    textUrl = textField(300);
    labelDescription = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_DESCRIPTION"), this);
    textDescription = textField(300);
    int row = 0;
    for (auto [label, field] : {std::pair{labelName, textName}, std::pair{labelHomepageUrl, textHomepageUrl},
                                std::pair{labelUrl, textUrl}, std::pair{labelDescription, textDescription}}) {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, 1, 2, Qt::AlignLeft);
        ++row;
    }

    // The notice.
    auto *noticeGroup = new QGroupBox(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_INFO")), this);
    auto *noticeLayout = new QVBoxLayout(noticeGroup);
    auto *notice = new QTextEdit(noticeGroup);
    notice->setPlainText(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_NOTICE")));
    notice->setReadOnly(true);
    notice->setEnabled(false);
    notice->setFrameShape(QFrame::NoFrame);
    notice->setFocusPolicy(Qt::NoFocus);
    {
        QPalette palette = notice->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
        notice->setPalette(palette);
    }
    noticeLayout->addWidget(notice);
    grid->addWidget(noticeGroup, row, 0);

    // First group of optional details: genre, language, country, type.
    auto *optional1 = new QGroupBox(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_OPTIONAL")), this);
    auto *grid1 = new QGridLayout(optional1);
    grid1->setColumnStretch(0, 1);
    grid1->setColumnStretch(1, 1);
    labelCategory = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_CATEGORY"), optional1);
    comboCategory = editableCombo(optional1, categoryItems);
    labelLanguage = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_LANGUAGE"), optional1);
    comboLanguage = editableCombo(optional1, languageItems);
    labelCountry = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_COUNTRY"), optional1);
    comboCountry = editableCombo(optional1, countryItems);
    labelType = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_TYPE"), optional1);
    comboType = new QComboBox(optional1);
    comboType->addItems({LangMsg::getMsg(QStringLiteral("CTAB_LABEL_TV")),
                         LangMsg::getMsg(QStringLiteral("CTAB_LABEL_RADIO")),
                         LangMsg::getMsg(QStringLiteral("CTAB_LABEL_VIDEOCLIP"))});
    comboType->setCurrentIndex(0);
    int row1 = 0;
    for (auto [label, combo] : {std::pair{labelCategory, comboCategory}, std::pair{labelLanguage, comboLanguage},
                                std::pair{labelCountry, comboCountry}, std::pair{labelType, comboType}}) {
        grid1->addWidget(label, row1++, 0);
        grid1->addWidget(combo, row1++, 0, 1, 2);
    }
    grid->addWidget(optional1, row, 1);

    // Second group: live, quality, player.
    auto *optional2 = new QGroupBox(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_OPTIONAL")), this);
    auto *grid2 = new QGridLayout(optional2);
    grid2->setColumnStretch(0, 1);
    grid2->setColumnStretch(1, 1);
    labelLive = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_LIVE"), optional2);
    grid2->addWidget(labelLive, 0, 0, 1, 2);
    radioLive1 = new QRadioButton(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_RADIOBUTTONYES")), optional2);
    radioLive2 = new QRadioButton(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_RADIOBUTTONNO")), optional2);
    grid2->addWidget(radioLive1, 1, 0);
    grid2->addWidget(radioLive2, 1, 1);
    labelBitrate = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_QUALITY"), optional2);
    grid2->addWidget(labelBitrate, 2, 0, 1, 2);
    m_quality = new QLineEdit(optional2);
    m_quality->setMaxLength(4);
    m_quality->setFixedWidth(qMax(24, m_quality->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 10));
    m_quality->installEventFilter(this);
    grid2->addWidget(m_quality, 3, 0, Qt::AlignRight);
    grid2->addWidget(plainLabel(QStringLiteral("Kbps"), optional2), 3, 1);
    m_scale = new QSlider(Qt::Horizontal, optional2);
    m_scale->setRange(0, 2000);
    m_scale->setSingleStep(1);
    m_scale->setPageStep(50);
    m_scale->setValue(0);
    grid2->addWidget(m_scale, 4, 0, 1, 2);
    labelFormat = plainLabel(labelText("MESSAGEBOX_STREAMTIPS_PLAYER"), optional2);
    grid2->addWidget(labelFormat, 5, 0);
    comboFormat = new QComboBox(optional2);
    comboFormat->addItems(formatItems);
    comboFormat->setCurrentIndex(0);
    grid2->addWidget(comboFormat, 6, 0, 1, 2);
    grid->addWidget(optional2, row, 2);
    grid->setRowStretch(row, 1);
    ++row;

    grid->addWidget(new QLabel(this), row, 0);
    m_send = makeButton(QStringLiteral("Send"), this);
    m_cancel = makeButton(QStringLiteral("Cancel"), this);
    m_send->setMinimumWidth(75);
    m_cancel->setMinimumWidth(75);
    grid->addWidget(m_send, row, 1);
    grid->addWidget(m_cancel, row, 2);
    setDefaultButton(m_send);

    connect(m_scale, &QSlider::valueChanged, this, [this](int position) {
        m_quality->setText(QString::number(position));
        if (layout())
            layout()->activate();
    });
    connect(m_send, &QPushButton::clicked, this, &StreamTipsDialog::send);
    connect(m_cancel, &QPushButton::clicked, this, &StreamTipsDialog::cancel);

    textName->setFocus();
}

bool StreamTipsDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Only digits and Backspace edit the quality field; keys that move
    // between controls or close the form keep their meaning.
    if (watched == m_quality && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return ModalDialog::eventFilter(watched, event);
        default:
            break;
        }
        const QString text = key->text();
        const bool digit = text.size() == 1 && text.at(0) >= u'0' && text.at(0) <= u'9';
        if (!digit || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return true;
    }
    return ModalDialog::eventFilter(watched, event);
}

void StreamTipsDialog::send()
{
    auto record = std::make_shared<StreamInfo>();
    record->setBitrate(parseBitrate(m_quality->text()));
    record->setCategory(textOf(chosenText(comboCategory)));
    record->setCountry(textOf(chosenText(comboCountry)));
    record->setFormat(textOf(comboFormat->currentText()));
    record->setLanguage(textOf(chosenText(comboLanguage)));
    record->setLive(radioLive1->isChecked());
    record->setName(textOf(textName->text()));
    record->setUrl(textOf(textUrl->text()));
    record->setHomepageUrl(textOf(textHomepageUrl->text()));
    record->setType(textOf(comboType->currentText()));

    const qsizetype length = textUrl->text().length();
    if (length == 0) {
        showMessageBox(this, QMessageBox::Critical,
                       LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_URLLENGTHZERO_TITLE")),
                       LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_URLLENGTHZERO_MESSAGE")));
        return;
    }
    if (length < 10) {
        showMessageBox(this, QMessageBox::Critical,
                       LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_URLTOSHORT_TITLE")),
                       LangMsg::getMsg(QStringLiteral("MESSAGEBOX_STREAMTIPS_URLTOSHORT_MESSAGE")));
        return;
    }
    stream = record;
    m_description = textOf(textDescription->text());
    accept();
}

void StreamTipsDialog::cancel()
{
    stream.reset();
    reject();
}

#pragma once

#include "catalogue/StreamInfo.h"
#include "window/dialogs/ModalDialog.h"

#include <QStringList>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

// The stream suggestion form. After exec(), getStream() is the suggested
// stream when Send passed the address test (exec() then returns Accepted),
// else none; getDescription() is the text of the description field as it
// was when Send closed the form.
class StreamTipsDialog : public ModalDialog
{
    Q_OBJECT
public:
    // Choices of the genre, language and country combos; none gives a combo
    // without choices.
    StreamTipsDialog(QWidget *parent, const std::optional<QStringList> &categories,
                     const std::optional<QStringList> &languages, const std::optional<QStringList> &countries);

    StreamInfoPtr getStream() const { return stream; }
    QString getDescription() const { return m_description; }

    // The player choices, in this order.
    static QStringList formatChoices();

    static constexpr int WIDTH = 512;
    static constexpr int HEIGHT = 384;
    static constexpr int OFFSET_X = 256;
    static constexpr int OFFSET_Y = 192;

    // The quality text as the bit rate: a decimal integer with an optional
    // sign, 0 for anything else (the empty text included).
    static int parseBitrate(const QString &text);

    QLineEdit *nameField() const { return textName; }
    QLineEdit *homepageField() const { return textHomepageUrl; }
    QLineEdit *urlField() const { return textUrl; }
    QLineEdit *descriptionField() const { return textDescription; }
    QComboBox *categoryCombo() const { return comboCategory; }
    QComboBox *languageCombo() const { return comboLanguage; }
    QComboBox *countryCombo() const { return comboCountry; }
    QComboBox *typeCombo() const { return comboType; }
    QComboBox *formatCombo() const { return comboFormat; }
    QRadioButton *liveYesButton() const { return radioLive1; }
    QRadioButton *liveNoButton() const { return radioLive2; }
    QLineEdit *qualityField() const { return m_quality; }
    QSlider *qualityScale() const { return m_scale; }
    QPushButton *sendButton() const { return m_send; }
    QPushButton *cancelButton() const { return m_cancel; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void send();
    void cancel();

    StreamInfoPtr stream;
    QString m_description;
    QLabel *labelName = nullptr;
    QLineEdit *textName = nullptr;
    QLabel *labelHomepageUrl = nullptr;
    QLineEdit *textHomepageUrl = nullptr;
    QLabel *labelUrl = nullptr;
    QLineEdit *textUrl = nullptr;
    QLabel *labelDescription = nullptr;
    QLineEdit *textDescription = nullptr;
    QLabel *labelCategory = nullptr;
    QComboBox *comboCategory = nullptr;
    QLabel *labelLanguage = nullptr;
    QComboBox *comboLanguage = nullptr;
    QLabel *labelCountry = nullptr;
    QComboBox *comboCountry = nullptr;
    QLabel *labelType = nullptr;
    QComboBox *comboType = nullptr;
    QLabel *labelLive = nullptr;
    QRadioButton *radioLive1 = nullptr;
    QRadioButton *radioLive2 = nullptr;
    QLabel *labelBitrate = nullptr;
    QLabel *labelFormat = nullptr;
    QComboBox *comboFormat = nullptr;
    std::optional<QStringList> categoryItems;
    std::optional<QStringList> languageItems;
    std::optional<QStringList> countryItems;
    QStringList formatItems;
    QLineEdit *m_quality = nullptr;
    QSlider *m_scale = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_cancel = nullptr;
};

// The Insert chapters dialog.
#include "gui/insert_chapters_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "shell/messages.h"

namespace tessaly::gui {

namespace {

QString Q(const std::string &text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

} // namespace

TInsertChaptersDialog::TInsertChaptersDialog(int32_t interval, QWidget *parent) : QDialog(parent)
{
    setObjectName("TChaptersDlg");
    setWindowTitle(Q(Msg("CapInsChapters")));
    FFixed = new QRadioButton(Q(Msg("CapFixedLength")), this);
    FFixed->setObjectName("FixedRadio");
    FInterval = new QLineEdit(QString::number(interval), this);
    FInterval->setObjectName("IntervalEdit");
    FInterval->setValidator(new QIntValidator(0, 2147483647, FInterval));   // digits only
    FSkip = new QRadioButton(Q(Msg("CapSkipCutOut")), this);
    FSkip->setObjectName("SkipRadio");
    FClear = new QCheckBox(Q(Msg("CapClearChapters")),
                           this);
    FClear->setObjectName("ClearBox");
    FButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    FFixed->setChecked(true);
    FClear->setChecked(true);   // new chapters replace the old ones unless the user keeps them

    auto *grid = new QGridLayout(this);
    grid->addWidget(FFixed, 0, 0);
    grid->addWidget(FInterval, 0, 1);
    grid->addWidget(FSkip, 1, 0, 1, 2);
    grid->addWidget(FClear, 2, 0, 1, 2);
    grid->addWidget(FButtons, 3, 0, 1, 2);

    connect(FFixed, &QRadioButton::toggled, this, &TInsertChaptersDialog::UpdateOk);
    connect(FInterval, &QLineEdit::textChanged, this, &TInsertChaptersDialog::UpdateOk);
    connect(FButtons, &QDialogButtonBox::accepted, this, [this] {
        if (Acceptable())
            accept();
    });
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateOk();
}

TAutoChapterMode TInsertChaptersDialog::Mode() const { return FSkip->isChecked() ? acSkipCutOut : acFixedLength; }

int32_t TInsertChaptersDialog::Interval() const
{
    bool ok = false;
    const int value = FInterval->text().trimmed().toInt(&ok);
    return ok ? value : -1;
}

bool TInsertChaptersDialog::ClearFirst() const { return FClear->isChecked(); }

bool TInsertChaptersDialog::Acceptable() const { return Mode() == acSkipCutOut || Interval() >= 100; }

void TInsertChaptersDialog::UpdateOk()
{
    FInterval->setEnabled(Mode() == acFixedLength);
    FButtons->button(QDialogButtonBox::Ok)->setEnabled(Acceptable());
}

} // namespace tessaly::gui

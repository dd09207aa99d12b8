#include "config/qt/wizardbox.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

#include "common/qt/fit_text.h"
#include "config/qt/twips.h"

namespace kobal::config::qt {

using kobal::qt::Q;
using kobal::qt::S;

namespace {

// The question texts break their lines with a lone carriage return.
QString Shown(const std::string& text) {
    QString s = Q(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

void ToStderr(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s\n", MessageLine(title, text).c_str());
    std::fflush(stderr);
}

}  // namespace

WizardDialog::WizardDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("wizardbox");
    setWindowTitle("Configuration Wizard");
    setModal(true);

    picture_ = new QLabel(this);
    picture_->setObjectName("picture");  // formerly Picture1
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    question_ = new QLabel(this);
    question_->setObjectName("question");  // formerly Label1
    question_->setTextFormat(Qt::PlainText);
    question_->setWordWrap(true);
    question_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    textbox_ = new QLineEdit(this);
    textbox_->setObjectName("Textbox");

    combobox_ = new QComboBox(this);
    combobox_->setObjectName("Combobox");
    combobox_->setEditable(false);

    ok_ = new QPushButton("Ok", this);
    ok_->setObjectName("OK");
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, [this] { OK_Click(); });
    Layout();
}

void WizardDialog::Layout() {
    // The designed places are the least room; a long question makes the
    // dialog taller instead of losing lines.
    PlaceTwips(picture_, 0, 360, 1455, 1455);
    PlaceTwips(question_, 1680, 120, 3495, 2535);
    PlaceTwips(textbox_, 120, 2760, 2895, 285);
    PlaceTwips(combobox_, 120, 2760, 2895, 315);
    PlaceTwips(ok_, 4080, 2760, 1095, 375);
    resize(PixelsX(5340), PixelsY(3150));
    setFixedSize(kobal::qt::GrowToFit(this));
}

void WizardDialog::Load(WizardBox& box) {
    picture_->setPixmap(kobal::qt::LoadPicture(box.picturePath));
}

bool WizardDialog::ShowModal(WizardBox& box) {
    box_ = &box;
    answered_ = false;
    question_->setText(Shown(box.question));
    textbox_->setText(Q(box.Textbox.text));
    combobox_->clear();
    for (const std::string& item : box.Combobox.items) combobox_->addItem(Q(item));
    combobox_->setCurrentIndex(box.Combobox.listIndex);
    textbox_->setVisible(box.textboxVisible);
    combobox_->setVisible(box.comboboxVisible);
    Layout();

    if (kobal::qt::DialogsSuppressed()) {
        // Unattended runs take what the dialog proposes.
        ToStderr("Configuration Wizard", box.question);
        OK_Click();
    } else {
        if (!isVisible()) CentreOnScreen(this);
        if (box.textboxVisible) textbox_->setFocus();
        exec();
    }
    box_ = nullptr;
    return answered_;
}

void WizardDialog::OK_Click() {
    if (!box_) return;
    box_->Textbox.text = S(textbox_->text());
    box_->Combobox.SetListIndex(combobox_->currentIndex());
    box_->OK_Click();
    answered_ = true;
    accept();
}

std::string QtInputBox::InputBox(const std::string& prompt, const std::string& title, const std::string& proposed) {
    ToStderr(title, prompt);
    // Unattended runs cancel: accepting the proposal could ask forever.
    if (kobal::qt::DialogsSuppressed()) return {};
    bool ok = false;
    const QString text = QInputDialog::getText(nullptr, Q(title), Q(prompt), QLineEdit::Normal, Q(proposed), &ok);
    return ok ? S(text) : std::string();
}

}  // namespace kobal::config::qt

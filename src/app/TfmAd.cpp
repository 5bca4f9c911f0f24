// The welcome window: a picture strip, a heading, a few words on how to begin, and "Don't
// show this again".
#include "app/TfmAd.h"

#include "app/Icons.h"
#include "platform/Settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace larderly {

TfmAd::TfmAd(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("fmAd");
    setWindowTitle("Welcome to Larderly");
    setFixedSize(760, 424);
    setModal(true);

    imgStrip = new QLabel(this);
    imgStrip->setObjectName("imgStrip");
    imgStrip->setGeometry(0, 0, 96, 424);
    imgStrip->setPixmap(MakeWelcomeStrip(96, 424));

    lblHeading = new QLabel("Welcome to Larderly!", this);
    lblHeading->setObjectName("lblHeading");
    lblHeading->setGeometry(104, 16, 648, 48);
    lblHeading->setAlignment(Qt::AlignCenter);
    QFont heading("Arial", 26, QFont::Bold);
    heading.setStyleHint(QFont::SansSerif);
    lblHeading->setFont(heading);
    lblHeading->setStyleSheet("color: #cc0000;");

    lblText = new QLabel(this);
    lblText->setObjectName("lblText");
    lblText->setGeometry(120, 76, 620, 200);
    lblText->setWordWrap(true);
    QFont body("Arial", 14);
    body.setStyleHint(QFont::SansSerif);
    lblText->setFont(body);
    // The project keeps no recipe site or mail box: the window points to what the program
    // itself offers instead of to pages that do not exist.
    lblText->setText(
        "Your recipe collection starts here. Click New to write your first recipe, or bring "
        "in recipes you already have with File > Import: MasterCook (.mxp, .mx2) and "
        "Meal-Master (.mmf) files are read.\n\n"
        "Gather recipes into books with Manage Books (F2), narrow the list with the search "
        "field or the filter (F5), and keep a backup with File > Backup. Press F1 anywhere "
        "for help.");

    cboxDontShow = new QCheckBox("&Don't show this again", this);
    cboxDontShow->setObjectName("cboxDontShow");
    cboxDontShow->setGeometry(120, 340, 400, 28);

    btnDelete = new QPushButton("Close", this);
    btnDelete->setObjectName("btnDelete");
    btnDelete->setGeometry(380, 380, 100, 30);
    btnDelete->setDefault(true);
    connect(btnDelete, &QPushButton::clicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, [this] {
        if (cboxDontShow->isChecked()) WriteShowWelcome(false);
    });
}

} // namespace larderly

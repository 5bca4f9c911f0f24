// The welcome window: a picture strip, a heading, a few words and two links.
#include "app/TfmAd.h"

#include "app/Icons.h"

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
    lblText->setText(
        "Your recipe collection starts here. Thousands more recipes are waiting on our web site, "
        "ready to download and import straight into Larderly.\n\n"
        "Have a family favourite that others should taste? Send it to us by e-mail and we will "
        "share it with every Larderly cook.");

    auto link = [this](const char* name, const QString& href, const QString& caption, int top) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setGeometry(120, top, 620, 28);
        QFont f("Arial", 13);
        f.setStyleHint(QFont::SansSerif);
        f.setUnderline(true);
        l->setFont(f);
        l->setTextFormat(Qt::RichText);
        l->setTextInteractionFlags(Qt::TextBrowserInteraction);
        l->setOpenExternalLinks(true);
        l->setText(
            QString("<a href=\"%1\" style=\"color:#0000ee; text-decoration:underline;\">%2</a>")
                .arg(href.toHtmlEscaped(), caption.toHtmlEscaped()));
        return l;
    };
    lblWeb = link("lblWeb", kRecipesWebPage, "Download more recipes at our web site!", 292);
    lblEmail =
        link("lblEmail", QString("mailto:") + kRecipesMailAddress, "Email us with a recipe!", 328);

    btnDelete = new QPushButton("Close", this);
    btnDelete->setObjectName("btnDelete");
    btnDelete->setGeometry(380, 380, 100, 30);
    btnDelete->setDefault(true);
    connect(btnDelete, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace larderly

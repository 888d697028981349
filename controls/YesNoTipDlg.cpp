#include "controls/YesNoTipDlg.h"

#include "controls/ImageButton.h"
#include "controls/TipArt.h"

CYesNoTipDlg::CYesNoTipDlg(QWidget* parent)
    : CTipDialog(parent, ModalRequest::Kind::kYesNoTip, tip_art::kTitleHeight + 16, 34) {
    const int y = tip_art::kHeight - tip_art::kButtonHeight - 10;
    auto* yes =
        new CImageButton([](qreal dpr) { return tip_art::ButtonImage(QStringLiteral("是"), QColor(204, 40, 32), dpr); },
                         QStringLiteral("是"), this);
    yes->setObjectName(QStringLiteral("id1043"));
    yes->move(tip_art::kWidth / 2 - tip_art::kButtonWidth - 10, y);
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);

    auto* no = new CImageButton(
        [](qreal dpr) { return tip_art::ButtonImage(QStringLiteral("否"), QColor(110, 122, 138), dpr); },
        QStringLiteral("否"), this);
    no->setObjectName(QStringLiteral("id1044"));
    no->move(tip_art::kWidth / 2 + 10, y);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
}

void CYesNoTipDlg::SetMessage(const QString& message) {
    SetShownText(message);
}

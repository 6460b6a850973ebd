#include "common/gui/frmAbout.h"

#include "common/gui/Version.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/modBrowseTo.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {
// Geometry in pixels; the box has a fixed size.
QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}
}  // namespace

QIcon DesignIcon()
{
    // A sheet with rows and a green arrow: forms gathered into a table.
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setPen(QPen(QColor(40, 60, 90), 2));
        p.setBrush(QColor(250, 250, 245));
        p.drawRoundedRect(QRectF(6, 4, 42, 54), 4, 4);
        p.setPen(QPen(QColor(90, 120, 160), 3));
        for (int y = 16; y <= 46; y += 10)
            p.drawLine(QPointF(13, y), QPointF(41, y));
        QPainterPath arrow;
        arrow.moveTo(36, 36);
        arrow.lineTo(58, 36);
        arrow.lineTo(58, 28);
        arrow.lineTo(62, 44);  // head
        arrow.lineTo(58, 60);
        arrow.lineTo(58, 52);
        arrow.lineTo(36, 52);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(20, 90, 40), 2));
        p.setBrush(QColor(60, 170, 80));
        p.drawPath(arrow);
        icon.addPixmap(pm);
    }
    return icon;
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setFixedSize(382, 220);
    picIcon = new QLabel(this);
    picIcon->setGeometry(16, 16, 48, 48);
    picIcon->setPixmap(DesignIcon().pixmap(48, 48));

    Label1 = MakeLabel(this, tr("Product:"), 80, 16, 64, 20);
    lblTitle = MakeLabel(this, QString(), 148, 16, 218, 20);
    Label2 = MakeLabel(this, tr("Version:"), 80, 40, 64, 20);
    lblVersion = MakeLabel(this, QString(), 148, 40, 218, 20);
    lblComments = MakeLabel(this, QString(), 80, 68, 286, 60);
    lblComments->setWordWrap(true);
    lblComments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Line1 = new QFrame(this);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(16, 136, 350, 4);

    lblCopyright = MakeLabel(this, QString(), 16, 150, 250, 56);
    lblCopyright->setWordWrap(true);
    lblCopyright->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblCopyright->setCursor(Qt::PointingHandCursor);
    lblCopyright->installEventFilter(this);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setGeometry(286, 178, 80, 28);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

void frmAbout::Init(const clsProductInfo& pProduct)
{
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    setWindowTitle(tr("About ") + (owner ? owner->windowTitle() : pProduct.Title));
    const QIcon icon = owner && !owner->windowIcon().isNull() ? owner->windowIcon() : pProduct.Icon;
    if (!icon.isNull())
        picIcon->setPixmap(icon.pixmap(48, 48));
    lblTitle->setText(pProduct.name);
    lblVersion->setText(VersionLabel(pProduct.Version()));
    lblComments->setText(pProduct.Description);
    lblCopyright->setText(pProduct.Copyright);
    copyrightTag_ = pProduct.Site;
    lblCopyright->setToolTip(copyrightTag_);
}

void frmAbout::InitFromVersion(const QString& pFileDescription, const QString& pProductName, const QString& pSite)
{
    setWindowTitle(tr("About ") + pFileDescription);
    lblTitle->setText(pProductName);
    lblVersion->setText(VersionLabel(clsProductInfo::VersionText(version::Major, version::Minor, version::Revision)));
    lblComments->setText(QString::fromUtf8(version::Comments));
    lblCopyright->setText(QString::fromUtf8(version::Copyright));
    copyrightTag_ = pSite;
    lblCopyright->setToolTip(copyrightTag_);
}

QString frmAbout::VersionLabel(const QString& versionText)
{
    return versionText + tr(" (package %1)").arg(QString::fromUtf8(version::Package));
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblCopyright && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            BrowseTo(copyrightTag_);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

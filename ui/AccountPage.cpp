#include "ui/AccountPage.h"

#include "core/MainModel.h"
#include "online/Account.h"
#include "ui/MainFrm.h"
#include "ui/PictureButton.h"

#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QWindow>

namespace orv {

namespace {

const QString kWhite13 = QStringLiteral("color:#FFFFFF;font-family:'DejaVu Sans';font-size:13px;");
const QString kLink15 =
    QStringLiteral("color:#FFFFFF;font-family:'DejaVu Sans';font-size:15px;font-weight:bold;");
const QString kEdit = QStringLiteral("QLineEdit{background:#0e76cd;color:#7CFF82;border:none;"
                                     "font-family:'DejaVu Sans';font-size:15px;}");
const QString kFrame = QStringLiteral("border:1px solid #9fd0ff;border-radius:5px;background:transparent;");

void StartWindowMove(QWidget* w) {
    if (QWindow* handle = w->window()->windowHandle())
        handle->startSystemMove();
}

// The second line of the page: a link to the portal while logged out, the account's e-mail while
// logged in (then pressing it moves the window like any caption).
class TLinkLabel : public QLabel {
public:
    TLinkLabel(MainModel& m, QWidget* parent) : QLabel(parent), m_(m) { setMouseTracking(true); }

protected:
    void mouseMoveEvent(QMouseEvent* e) override {
        setCursor(m_.LoggedIn ? Qt::ArrowCursor : Qt::PointingHandCursor);
        QLabel::mouseMoveEvent(e);
    }
    void enterEvent(QEnterEvent* e) override {
        setCursor(m_.LoggedIn ? Qt::ArrowCursor : Qt::PointingHandCursor);
        QLabel::enterEvent(e);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (m_.LoggedIn)
            StartWindowMove(this);
        e->accept();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
            MojeKontoLbl2Click(m_);
        e->accept();
    }

private:
    MainModel& m_;
};

// Mirrors the model's state of the page's controls into their widgets and takes the user's input back.
class TAccountPage : public QObject {
public:
    TAccountPage(TMainFrm& frm, QWidget* page) : QObject(page), frm_(frm), m_(frm.Model) {
        Caption(page, ctl::MojeKontoLbl1, 0, 24, 569, 18);
        auto* link = new TLinkLabel(m_, page);
        Place(link, ctl::MojeKontoLbl2, 0, 62, 577, 22);
        link->setStyleSheet(kLink15);
        link->setAlignment(Qt::AlignCenter);
        Caption(page, ctl::MojeKontoLbl3, 0, 104, 577, 18);
        Caption(page, ctl::LoginLbl, 0, 166, 577, 18);
        Frame(page, ctl::Obwodka1, 136, 184);
        Edit(page, ctl::LoginEdt, 192, kLoginMaxLength, false);
        Caption(page, ctl::HasloLbl, 0, 230, 577, 18);
        Frame(page, ctl::Obwodka2, 136, 248);
        Edit(page, ctl::HasloEdt, 256, kPasswordMaxLength, true);

        auto* button = new TPictureButton(page);
        Place(button, ctl::ZalogujBtn, 198, kLoginButtonTopLoggedOut, 191, 48);
        connect(button, &TPictureButton::clicked, this, [this] { ZalogujBtnClick(m_); });
        connect(button, &TPictureButton::hovered, this, [this] {
            if (m_.LoginButtonHot)
                return;
            m_.SetPicture(ctl::ZalogujBtn, m_.LoggedIn ? kImageLogOutHovered : kImageLogInHovered);
            m_.LoginButtonHot = true;
        });

        FillAccountPage(m_);
        for (auto it = widgets_.cbegin(); it != widgets_.cend(); ++it)
            Apply(it.key());
        connect(&m_, &MainModel::controlChanged, this, &TAccountPage::Apply);
    }

private:
    void Place(QWidget* w, const QString& name, int x, int y, int width, int height) {
        w->setObjectName(name);
        w->setGeometry(x, y, width, height);
        widgets_.insert(name, w);
    }
    void Caption(QWidget* page, const QString& name, int x, int y, int width, int height) {
        auto* l = new TPassiveLabel(page);
        Place(l, name, x, y, width, height);
        l->setStyleSheet(kWhite13);
        l->setAlignment(Qt::AlignCenter);
        connect(l, &TPassiveLabel::pressed, this, [l] { StartWindowMove(l); });
    }
    void Frame(QWidget* page, const QString& name, int x, int y) {
        auto* f = new QLabel(page);
        Place(f, name, x, y, 309, 35);
        f->setStyleSheet(kFrame);
    }
    void Edit(QWidget* page, const QString& name, int y, int maxLength, bool masked) {
        auto* e = new QLineEdit(page);
        Place(e, name, 145, y, 289, 20);
        e->setFrame(false);
        e->setAlignment(Qt::AlignCenter);
        e->setMaxLength(maxLength);
        e->setStyleSheet(kEdit);
        if (masked)
            e->setEchoMode(QLineEdit::Password);
        connect(e, &QLineEdit::textEdited, this,
                [this, name](const QString& text) { m_.SetText(name, text); });
        // Enter logs in exactly as the button does.
        connect(e, &QLineEdit::returnPressed, this, [this] { ZalogujBtnClick(m_); });
    }

    void Apply(const QString& name) {
        QWidget* w = widgets_.value(name);
        if (!w)
            return;
        const ControlState& c = m_.Control(name);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            if (edit->text() != c.text)
                edit->setText(c.text);
        } else if (auto* button = qobject_cast<TPictureButton*>(w)) {
            if (c.picture >= 0)
                button->setPixmap(frm_.Grafika.Image(c.picture));
            button->move(button->x(), c.position);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            if (c.textSet)
                label->setText(c.text);
        }
        w->setVisible(c.visible);
    }

    TMainFrm& frm_;
    MainModel& m_;
    QHash<QString, QWidget*> widgets_;
};

} // namespace

void BuildAccountPage(TMainFrm& frm) {
    new TAccountPage(frm, frm.Tabs->widget(kAccountPage));
}

} // namespace orv

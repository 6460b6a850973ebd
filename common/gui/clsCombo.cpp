#include "common/gui/clsCombo.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QStringList>
#include <QTimer>

clsCombo::clsCombo(QObject* parent) : QObject(parent) {}

clsCombo::~clsCombo()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void clsCombo::setCb(QComboBox* pCB)
{
    myCB_ = pCB;
    if (!pCB)
        return;
    pCB->setEditable(true);
    // The box's own inline completer and its habit of adding the typed text
    // on Enter would fight the wrapper's completion and list check.
    pCB->setCompleter(nullptr);
    pCB->setInsertPolicy(QComboBox::NoInsert);
    connect(pCB->lineEdit(), &QLineEdit::textEdited, this, [this] { typed_ = true; });
    // One application-wide filter sees the box's keys and every attempt to
    // leave it (a filter on the box as well would see its keys twice).
    qApp->removeEventFilter(this);
    qApp->installEventFilter(this);
}

void clsCombo::Clear()
{
    if (myCB_)
        myCB_->clear();
}

void clsCombo::LoadFromTxtFile(const std::string& path)
{
    if (!myCB_)
        return;
    const QString name = QString::fromStdString(path);
    if (!QFileInfo(name).isFile())
        return;
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    f.close();

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines << QString::fromUtf8(bytes.constData() + start, i - start);
        if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << QString::fromUtf8(bytes.constData() + start, n - start);
    // Appending changes the current entry of an empty box; keep the typed text.
    const QString text = myCB_->currentText();
    myCB_->addItems(lines);
    myCB_->setEditText(text);
}

bool clsCombo::IsCompletionKey(int qtKey, const QString& text)
{
    // Qt names the printable keys by their Latin-1 code: space, digits,
    // letters and punctuation. Keypad keys carry the same codes. Editing and
    // moving keys (backspace, delete, arrows, home, end...) lie above 0xffff.
    if (qtKey >= 0x20 && qtKey <= 0xff)
        return true;
    return !text.isEmpty() && text.at(0).isPrint();
}

void clsCombo::myCB_KeyUp(int qtKey, const QString& text, Qt::KeyboardModifiers modifiers)
{
    const bool typed = typed_;
    typed_ = false;
    if (!Completes(mode_))
        return;
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return;
    // A key that changed nothing (the letter of Ctrl+A, released after Ctrl)
    // must not complete: that would undo the selection it made.
    if (!typed)
        return;
    if (!IsCompletionKey(qtKey, text))
        return;
    AutoComplete();
}

void clsCombo::AutoComplete()
{
    if (!myCB_)
        return;
    const QString typed = myCB_->currentText();
    const qsizetype n = typed.size();
    if (n == 0)
        return;
    // Case-insensitive, first entry in list order.
    const int index = myCB_->findText(typed, Qt::MatchStartsWith);
    if (index < 0)
        return;  // no entry begins so: the typed text stays
    const QString entry = myCB_->itemText(index);
    myCB_->setCurrentIndex(index);
    myCB_->setEditText(entry);
    if (QLineEdit* le = myCB_->lineEdit())
        le->setSelection(int(n), int(entry.size() - n));
}

bool clsCombo::TextAccepted() const
{
    if (!myCB_ || !Checks(mode_))
        return true;
    const int count = myCB_->count();
    if (count == 0)
        return true;
    const QString text = myCB_->currentText().toLower();
    for (int i = 0; i < count; ++i)
        if (myCB_->itemText(i).toLower() == text)
            return true;
    return false;
}

void clsCombo::myCB_Validate(bool& pCancel) const
{
    if (!TextAccepted())
        pCancel = true;
}

bool clsCombo::IsInsideBox(QObject* o) const
{
    for (; o; o = o->parent())
        if (o == myCB_)
            return true;
    return false;
}

bool clsCombo::IsMenuBar(QObject* o)
{
    for (; o; o = o->parent())
        if (qobject_cast<QMenuBar*>(o))
            return true;
    return false;
}

bool clsCombo::HoldsFocus() const
{
    if (!myCB_)
        return false;
    QWidget* f = QApplication::focusWidget();
    return f && IsInsideBox(f);
}

bool clsCombo::eventFilter(QObject* watched, QEvent* event)
{
    if (!myCB_)
        return false;
    const QEvent::Type type = event->type();

    if (type == QEvent::KeyRelease && watched == myCB_) {
        auto* ke = static_cast<QKeyEvent*>(event);
        myCB_KeyUp(ke->key(), ke->text(), ke->modifiers());
        return false;
    }
    if (!Checks(mode_))
        return false;

    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // A press on another control of the window moves the focus before
        // filters see it (the focus-out below marks it) and would click a
        // button: refuse it while the text is not an entry.
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || IsInsideBox(w) || IsMenuBar(w))
            return false;  // menus take no focus
        if (w->window() != myCB_->window())
            return false;  // the pick list's popup, other windows
        if (!refusePress_ && !HoldsFocus())
            return false;
        if (TextAccepted())
            return false;
        refusePress_ = false;
        myCB_->setFocus(Qt::OtherFocusReason);
        return true;
    }
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() != Qt::Key_Tab && ke->key() != Qt::Key_Backtab)
            return false;
        if (!IsInsideBox(watched))
            return false;
        return !TextAccepted();
    }
    case QEvent::Shortcut: {
        // A button's access key moves the focus to it and clicks it.
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || IsInsideBox(w) || IsMenuBar(w) || !HoldsFocus())
            return false;
        if (w->window() != myCB_->window())
            return false;
        return !TextAccepted();
    }
    case QEvent::FocusOut: {
        if (watched != myCB_ && (!myCB_->lineEdit() || watched != myCB_->lineEdit()))
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Only the user's own moves are turned back; the program's (and the
        // window losing activation) are left alone, so two boxes never fight.
        if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason && reason != Qt::MouseFocusReason &&
            reason != Qt::ShortcutFocusReason)
            return false;
        if (!TextAccepted()) {
            refusePress_ = reason == Qt::MouseFocusReason;
            QPointer<QComboBox> box = myCB_;
            QTimer::singleShot(0, this, [this, box] {
                refusePress_ = false;
                if (box && box->isVisible() && !HoldsFocus())
                    box->setFocus(Qt::OtherFocusReason);
            });
        }
        return false;
    }
    default:
        return false;
    }
}

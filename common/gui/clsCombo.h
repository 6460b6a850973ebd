#pragma once
// An editable combo box with a pick list read from a text file and, by mode,
// completion while typing and a check that keeps the focus in the box while
// its text is not one of the entries:
//
//   mode 0 or below  nothing extra
//   mode 1           the text must be an entry (case ignored) to leave the box
//   mode 2           completion from the list, and the check of mode 1
//   mode 3           the check of mode 1
//   mode 4           completion from the list; any text may leave the box
//                    (a list of suggestions, not of the only values)
//   mode 5 and above the check of mode 1
//
// Completion runs when a key that types a character is released and the
// text was changed by typing; never while Ctrl, Alt or Meta is held (Ctrl+A
// selects the whole text, and the next character replaces it).
//
// An empty pick list accepts every text. Refusing the focus is silent; it
// holds back only moves to other fields and buttons: the menu bar and its
// Alt shortcuts take no focus and always work.
// The wrapper takes the box's key releases and the attempts to leave it (a
// mouse press elsewhere in the window, Tab, a focus change) through event
// filters; the box itself belongs to its window.
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <string>

#include <QComboBox>
class QKeyEvent;

class clsCombo : public QObject {
    Q_OBJECT
public:
    explicit clsCombo(QObject* parent = nullptr);
    ~clsCombo() override;

    // Binds the wrapper to the box and makes the box fit for it: editable, no
    // completer or insertion of its own.
    void setCb(QComboBox* pCB);
    QComboBox* cb() const { return myCB_; }

    void setMode(int16_t pMode) { mode_ = pMode; }
    int16_t Mode() const { return mode_; }

    void Clear();
    // Appends the lines of a text file, unchanged, as entries. A missing file
    // changes nothing. Lines end at CR, CR LF or LF; a break at the very end
    // adds no empty entry.
    void LoadFromTxtFile(const std::string& path);

    // Completion trigger: true for the keys after which mode 2 completes
    // (space, letters, digits, keypad and punctuation keys).
    static bool IsCompletionKey(int qtKey, const QString& text);
    void myCB_KeyUp(int qtKey, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // Modes that complete while typing, and modes that check the text.
    static bool Completes(int16_t mode) { return mode == 2 || mode == 4; }
    static bool Checks(int16_t mode) { return mode >= 1 && mode != 4; }

    // The list check: whether the text may leave the box. The box's own
    // event filter asks TextAccepted; myCB_Validate gives the same answer
    // as a cancel flag (set when the focus must stay) for callers that
    // check a box before acting on it.
    void myCB_Validate(bool& pCancel) const;
    bool TextAccepted() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AutoComplete();
    bool HoldsFocus() const;
    bool IsInsideBox(QObject* o) const;
    static bool IsMenuBar(QObject* o);

    QPointer<QComboBox> myCB_;
    int16_t mode_ = 0;
    bool refusePress_ = false;  // the focus left by a mouse press that is to be refused
    bool typed_ = false;        // the user changed the text since the last key release
};

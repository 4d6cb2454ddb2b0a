#pragma once
// The template's drop-down combo: a list with an edit field. Its selection
// changes only when an entry is chosen from the list, with the arrow keys or
// the wheel, or with the mouse or Enter in the dropped-down list. Text typed
// into the field never selects, whatever Qt's own matching (on Enter, on
// focus-out, through a completer) makes of it.

#include <QComboBox>

class DropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit DropDownList(QWidget* parent);

    // The chosen entry, -1 for none. The combo's current index follows it.
    int selected() const { return selected_; }
    void select(int index);

    void showPopup() override;

signals:
    // Just before the list drops down and before the field shows its tooltip:
    // the moment to refresh what the entries' tooltips say.
    void aboutToDescribe();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow(int index);

    int selected_ = -1;
    bool stepping_ = false; // inside an arrow-key or wheel step through the entries
    int listChoice_ = -1;   // the row the dropped-down list is choosing, until it lands
};

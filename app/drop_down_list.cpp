#include "app/drop_down_list.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed text must not become an entry, nor be completed into one.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    connect(this, &QComboBox::currentIndexChanged, this, &DropDownList::follow);

    // Installed after the list's own filters, so these run first: they see
    // which row a release or Enter is about to choose before the list acts.
    view()->installEventFilter(this);
    view()->viewport()->installEventFilter(this);
    // Focus-out and Enter are where Qt turns the field's text into a
    // selection; no list choice may be pending across them.
    installEventFilter(this);
    lineEdit()->installEventFilter(this);
}

void DropDownList::select(int index) {
    const QScopedValueRollback step(stepping_, true);
    setCurrentIndex(index);
    selected_ = currentIndex();
}

// Any other change of the current index came from the field's text: undone,
// so the field shows the entry that counts.
void DropDownList::follow(int index) {
    if (stepping_ || (listChoice_ >= 0 && index == listChoice_)) {
        selected_ = index;
        listChoice_ = -1;
        return;
    }
    if (index != selected_) setCurrentIndex(selected_);
}

void DropDownList::showPopup() {
    listChoice_ = -1;
    emit aboutToDescribe();
    QComboBox::showPopup();
}

bool DropDownList::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        emit aboutToDescribe();
        setToolTip(itemData(selected_, Qt::ToolTipRole).toString());
    }
    return QComboBox::event(event);
}

void DropDownList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const QScopedValueRollback step(stepping_, true);
        QComboBox::keyPressEvent(event);
        return;
    }
    default: QComboBox::keyPressEvent(event);
    }
}

void DropDownList::wheelEvent(QWheelEvent* event) {
    const QScopedValueRollback step(stepping_, true);
    QComboBox::wheelEvent(event);
}

bool DropDownList::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == view() || watched == view()->viewport()) {
        bool chooses = type == QEvent::MouseButtonRelease;
        if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            chooses = key == Qt::Key_Return || key == Qt::Key_Enter;
        }
        if (chooses) listChoice_ = view()->currentIndex().row();
    } else if (type == QEvent::FocusOut || type == QEvent::KeyPress || type == QEvent::MouseButtonPress) {
        listChoice_ = -1;
    }
    return QComboBox::eventFilter(watched, event);
}

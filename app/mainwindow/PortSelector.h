#pragma once
// ComboBoxCOM: the editable port box. Its list is "COM1".."COM10", then the ports the system
// has, each shown with its description; the box itself, its text and vtr.cfg only ever hold a
// port's path. Any text typed by hand stays as typed.

#include "app/mainwindow/PortList.h"

#include <QComboBox>

#include <functional>
#include <vector>

class PortSelector : public QComboBox {
    Q_OBJECT
public:
    // Where the ports after "COM10" come from; called on every refresh.
    using PortLister = std::function<std::vector<PortChoice>()>;
    // The role of an item's "<path> — <description>" text, which the list shows. The display
    // role and Qt::UserRole hold the path, which is what choosing the item puts into the box.
    static constexpr int kLabelRole = Qt::UserRole + 1;

    // Fills the list from `lister`; the text is "COM1".
    explicit PortSelector(PortLister lister, QWidget* parent = nullptr);

    // Replaces the source of the ports and refreshes the list.
    void SetPortLister(PortLister lister);

    // Rebuilds the list from the source. The text, typed or chosen, stays, and no signal is
    // emitted: a refresh is no change of the port.
    void Refresh();

    // What the box shows while it lacks the keyboard focus: its text, elided in the middle when
    // it is wider than the box (the whole text is the tooltip). With the focus the text is
    // shown whole, scrolled as the operator edits it.
    QString ShownText() const;

    // Refreshes the list first, so that a newly plugged adapter is offered.
    void showPopup() override;
    // Emits PopupHidden once the list has closed, by a choice, Escape or a click elsewhere.
    void hidePopup() override;

signals:
    void PopupHidden();

private:
    void FitPopupWidth();

    PortLister lister_;
};

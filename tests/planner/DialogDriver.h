#pragma once
// Answering the planner's modal dialogs from a test: a driver that polls for the active modal
// dialog and answers it with the next expected step, and helpers to reach dialog controls.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <vector>

namespace avilo::planner::test {

/// Answers the modal dialogs that appear while an operation runs, in the expected order.  A
/// dialog that is not expected is cancelled and recorded, so a test never hangs.
class DialogDriver : public QObject {
public:
    using Action = std::function<void(QDialog&)>;
    struct Step {
        QString dialog; ///< object name: the template id
        Action action;
    };

    explicit DialogDriver(std::vector<Step> steps) : m_steps(steps.begin(), steps.end()) {
        connect(&m_timer, &QTimer::timeout, this, &DialogDriver::Poll);
        m_timer.start(5);
    }

    bool AllAnswered() const { return m_steps.empty() && m_unexpected.isEmpty(); }
    QStringList m_seen;
    QStringList m_unexpected;

private:
    void Poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        if (dialog->property("answered").toBool()) {
            // A check that failed inside an answer leaves its dialog open: close it.
            if (QTest::currentTestFailed())
                dialog->reject();
            return;
        }
        dialog->setProperty("answered", true);
        m_seen << dialog->objectName();
        if (m_steps.empty() || m_steps.front().dialog != dialog->objectName()) {
            m_unexpected << dialog->objectName();
            dialog->reject();
            return;
        }
        const Step step = m_steps.front();
        m_steps.pop_front();
        step.action(*dialog);
    }

    std::deque<Step> m_steps;
    QTimer m_timer;
};

template <class W> inline W* Control(QWidget& parent, const char* id) {
    W* control = parent.findChild<W*>(id);
    if (!control)
        qFatal("control %s not found in %s", id, qPrintable(parent.objectName()));
    return control;
}
inline void Press(QDialog& dialog, const char* id) {
    Control<QPushButton>(dialog, id)->click();
}
inline const auto Ok = [](QDialog& dialog) { Press(dialog, "1"); };
inline const auto Cancel = [](QDialog& dialog) { Press(dialog, "2"); };

inline void Choose(QComboBox& combo, const QString& text) {
    const int index = combo.findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo.setCurrentIndex(index);
}

} // namespace avilo::planner::test

#pragma once
// A thin modal dialog base in the manner of the planner's dialogs: DoModal runs OnInitDialog,
// then the modal loop; OK runs OnOK, which may keep the dialog open; controls are placed in
// dialog units and named after their control ids, so that tests can find them.

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace avilo::planner {

/// The results of a modal dialog.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

/// Converts dialog units (a quarter of the average character width horizontally, an eighth of
/// the character height vertically, of the dialog's font) into pixels.
class DialogUnits {
public:
    explicit DialogUnits(const QWidget& widget);
    int x(int du) const { return (du * m_baseX + 2) / 4; }
    int y(int du) const { return (du * m_baseY + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const {
        return {x(left), y(top), x(width), y(height)};
    }

private:
    int m_baseX;
    int m_baseY;
};

class CAviloDialog : public QDialog {
    Q_OBJECT
public:
    /// `templateId` becomes the object name; `widthDu` x `heightDu` is the client size.
    CAviloDialog(int templateId, const QString& caption, int widthDu, int heightDu,
                 QWidget* parent);

    /// Initialises the dialog and runs it modally; returns IDOK or IDCANCEL.  Exceptions thrown
    /// by OnInitDialog reach the caller before the dialog is shown.
    int DoModal();

    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

protected:
    /// Base processing: the members into the controls.
    virtual bool OnInitDialog();
    /// Copies members into controls (`save` false) or controls into members (`save` true).
    virtual void DoDataExchange(bool save);
    /// Base processing: the controls into the members, then end with IDOK.
    virtual void OnOK();
    virtual void OnCancel();

    QLabel* AddLabel(const QString& text, int x, int y, int w, int h);
    /// A push button with object name `id`; the default button is the one pressed by Enter.
    QPushButton* AddButton(int id, const QString& text, int x, int y, int w, int h,
                           bool isDefault = false);
    template <class W> W* AddControl(int id, int x, int y, int w, int h) {
        auto* widget = new W(this);
        widget->setObjectName(QString::number(id));
        widget->setGeometry(m_du.rect(x, y, w, h));
        return widget;
    }

    DialogUnits m_du;
};

} // namespace avilo::planner

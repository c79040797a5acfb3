#pragma once
// The "ABOUT" dialog: program name, version and build date, closed with OK.

#include <QDialog>

namespace sorvane {

class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // "Built: Mmm dd yyyy", the date of the commit the program was built from.
    static QString builtLine();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace sorvane

#pragma once
#include "ui/Grafika.h"

#include <QHash>
#include <QWidget>

#include <functional>

class QStackedWidget;
class QLabel;
class QProgressBar;

namespace orv {

class MainModel;
class TPictureButton;

// The skinned main window. Every control carries its name; the window mirrors the state the model
// keeps under that name and forwards clicks to the model's handlers.
class TMainFrm : public QWidget {
    Q_OBJECT
public:
    explicit TMainFrm(MainModel& model, QWidget* parent = nullptr);

    MainModel& Model;
    TGrafika Grafika;
    QStackedWidget* Tabs = nullptr;

    QWidget* ControlWidget(const QString& name) const { return controls_.value(name); }
    TPictureButton* Button(const QString& name) const;

    // Designed at 96 dots per inch; the platform scales the whole window for other densities.
    static constexpr int kDesignWidth = 844;
    static constexpr int kDesignHeight = 577;

    void ExitBtnClick();
    // Runs when the window closes; by default ends the process at once after the workers.
    std::function<void()> FormCloseAction;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Build();
    void BuildRows();
    void BuildResultsPage(QWidget* page);
    QLabel* Label(QWidget* parent, const QString& name, int x, int y, int w, int h, const QString& style);
    TPictureButton* PictureButton(QWidget* parent, const QString& name, int x, int y, int w, int h,
                                  const QString& hint = {});
    void Bind(const QString& name, QWidget* w);
    void Apply(const QString& name);
    void StartWindowMove();
    void ConnectPassive(QWidget* w);

    QHash<QString, QWidget*> controls_;
};

} // namespace orv

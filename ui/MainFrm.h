#pragma once
#include "core/Catalogue.h"
#include "ui/Grafika.h"

#include <QHash>
#include <QWidget>

#include <functional>

class QStackedWidget;
class QLabel;

namespace orv {

class MainModel;
class TPictureButton;
class TPassiveLabel;
class TPage;

// True on Wayland: there the compositor alone places windows, keeps them on top and moves them (a
// press on the skin asks it to through QWindow::startSystemMove, as on X11).
bool CompositorPlacesWindows();

// The skinned main window. Every control carries its name; the window mirrors the state the model
// keeps under that name and forwards pointer moves, presses and clicks to the model's handlers
// (core/Navigation.h, core/Sequencer.h).
class TMainFrm : public QWidget {
    Q_OBJECT
public:
    explicit TMainFrm(MainModel& model, QWidget* parent = nullptr);
    ~TMainFrm() override;

    MainModel& Model;
    TGrafika Grafika;
    QStackedWidget* Tabs = nullptr;

    QWidget* ControlWidget(const QString& name) const { return controls_.value(name); }
    TPictureButton* Button(const QString& name) const;
    TPage* PageWidget(Page page) const;

    // Designed at 96 dots per inch; the platform scales the whole window for other densities.
    static constexpr int kDesignWidth = 844;
    static constexpr int kDesignHeight = 577;

    // Colours of the page control, its pages, the log-in edit boxes and the page captions.
    void ApplyColours();

    void ExitBtnClick();
    // Runs when the window closes; by default ends the process at once after the workers.
    std::function<void()> FormCloseAction;

    // Builders of page contents use these: each control gets its name, its place and its wiring.
    // A passive label moves the window when pressed (unless movesWindow is false) and runs the
    // background reset when the pointer moves over it.
    TPassiveLabel* Label(QWidget* parent, const QString& name, int x, int y, int w, int h,
                         const QString& style, bool movesWindow = true);
    TPassiveLabel* Picture(QWidget* parent, const QString& name, int x, int y, const QPixmap& picture,
                           bool movesWindow = true);
    TPictureButton* PictureButton(QWidget* parent, const QString& name, int x, int y, int w, int h,
                                  const QString& hint = {});

protected:
    void closeEvent(QCloseEvent* e) override;
    // Leaving the window straight from a button resets the hover pictures as the background does.
    void leaveEvent(QEvent* e) override;

private:
    void Build();
    void BuildMenus();
    void BuildTabRow();
    void BuildPages();
    void BuildRows();
    void BuildExplanations();
    void BuildResultsPage(QWidget* page);
    void BuildInformationPage(QWidget* page);
    void Wire();
    void Bind(const QString& name, QWidget* w);
    void Apply(const QString& name);
    void OnClick(const QString& name, std::function<void()> action);
    void OnHover(const QString& name, std::function<void()> action);
    void OnPress(const QString& name, std::function<void()> action);

    QHash<QString, QWidget*> controls_;
};

} // namespace orv

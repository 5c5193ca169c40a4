#pragma once

#include "browser/WebView.h"

#include <QVariant>

#include <memory>

class QWebEngineProfile;
class QWebEngineView;

// gEdg on Qt WebEngine. Chromium starts only with the first navigation, so the window opens
// fast; the profile keeps its cookies and cache in a per-user folder and lives as long as this
// widget, while closeView() drops the engine view and with it the page.
class WebEngineWebView : public WebView {
    Q_OBJECT
public:
    explicit WebEngineWebView(QWidget* parent = nullptr);
    ~WebEngineWebView() override;

    void navigate(const QString& address) override;
    void runScript(const QString& script) override;
    void closeView() override;

    // The engine view while a page is open, nullptr before the first navigation and after
    // closeView().
    QWebEngineView* engineView() const { return m_view; }
    QWebEngineProfile* profile() const { return m_profile.get(); }

    // The profile's folder: "WebView" under the local application-data directory.
    static QString dataFolder();
    // A script's value as the JSON text the page reads: strings quoted, "null" for no value.
    static QString jsonText(const QVariant& value);

    // Chromium refuses to start its sandbox as root: turns the sandbox off, only when the
    // process runs as root. Call it in main() before the QApplication is created; the first
    // navigation calls it as well.
    static void prepareEnvironment();

private:
    void createView();

    std::unique_ptr<QWebEngineProfile> m_profile;
    QWebEngineView* m_view = nullptr;
};

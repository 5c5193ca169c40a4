#include "browser/WebEngineWebView.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <unistd.h>

WebEngineWebView::WebEngineWebView(QWidget* parent) : WebView(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

WebEngineWebView::~WebEngineWebView() {
    // Pages must go before their profile.
    delete m_view;
    m_view = nullptr;
}

QString WebEngineWebView::dataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/WebView");
}

void WebEngineWebView::prepareEnvironment() {
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

void WebEngineWebView::createView() {
    if (!m_profile) {
        prepareEnvironment();
        const QString folder = dataFolder();
        QDir().mkpath(folder);
        // A named profile is stored on disk; its folders are put under our own data folder.
        m_profile = std::make_unique<QWebEngineProfile>(QStringLiteral("Torvane"));
        m_profile->setPersistentStoragePath(folder);
        m_profile->setCachePath(folder + QStringLiteral("/Cache"));
    }
    m_view = new QWebEngineView(this);
    m_view->setPage(new QWebEnginePage(m_profile.get(), m_view));
    layout()->addWidget(m_view);
}

void WebEngineWebView::navigate(const QString& address) {
    if (!m_view)
        createView();
    m_view->setUrl(QUrl::fromUserInput(address));
}

void WebEngineWebView::runScript(const QString& script) {
    if (!m_view)
        return;
    QPointer<WebEngineWebView> self(this);
    // The application's own script world: the page's scripts cannot redefine what we call.
    m_view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                  [self](const QVariant& value) {
                                      if (self)
                                          Q_EMIT self->scriptResult(0, jsonText(value));
                                  });
}

void WebEngineWebView::closeView() {
    delete m_view;
    m_view = nullptr;
}

QString WebEngineWebView::jsonText(const QVariant& value) {
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isNull() || json.isUndefined())
        return QStringLiteral("null");
    // QJsonDocument writes only arrays and objects: wrap the value and take the brackets off.
    const QByteArray array = QJsonDocument(QJsonArray{json}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

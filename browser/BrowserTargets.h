#pragma once

#include <QString>

// The fields and pages outside the browser page that it writes into and switches to, by their
// objectNames: b105rz2E, b106rs2E, b107syt2E on page "bts", e105dt2E, e106hm2E, e107eiv2E,
// e108riv2E on page "ets", and the browser's own page "gts".
class BrowserTargets {
public:
    virtual ~BrowserTargets() = default;

    virtual void setText(const QString& field, const QString& value) = 0;
    virtual void setFocus(const QString& field) = 0;
    // Makes the page current in the window's page control ("bts", "ets", "gts").
    virtual void showPage(const QString& page) = 0;
};

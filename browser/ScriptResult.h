#pragma once

#include <QString>

// The value the browser's address script hands back, as JSON text of an encodeURI() string.
namespace ScriptResult {

// The JSON text URL-decoded (percent sequences to bytes read as UTF-8, "+" to a space, "%2B"
// staying a plus), without its first and last character, the quotes of the JSON string.
// Fewer than two characters give an empty text.
QString text(const QString& json);

} // namespace ScriptResult

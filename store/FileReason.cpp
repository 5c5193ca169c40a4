#include "store/FileReason.h"

#include <QFileDevice>

#include <cerrno>

QString fileReason(const QFileDevice& file) {
    struct Known {
        int code;
        const char16_t* text;
    };
    static constexpr Known known[] = {
        {ENOENT, u"フォルダまたはファイルがありません"},
        {ENOTDIR, u"パスの途中にフォルダでないものがあります"},
        {EISDIR, u"同じ名前のフォルダがあります"},
        {EACCES, u"アクセスする権限がありません"},
        {EPERM, u"この操作は許可されていません"},
        {EROFS, u"読み取り専用の場所です"},
        {ENOSPC, u"ディスクに空きがありません"},
        {EDQUOT, u"ディスクの使用量の上限を超えています"},
        {ENAMETOOLONG, u"ファイル名が長すぎます"},
        {EBUSY, u"ファイルが使用中です"},
        {EIO, u"入出力エラーが起きました"},
    };
    // Qt reports the system's reason as the C library's text for the error number.
    const QString reason = file.errorString();
    for (const Known& k : known)
        if (reason == qt_error_string(k.code))
            return QString::fromUtf16(k.text);
    return reason;
}

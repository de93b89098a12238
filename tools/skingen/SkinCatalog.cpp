#include "SkinImages.h"

#include "SkinKit.h"

#include <QDir>

namespace skin {

const std::vector<SkinFile>& SkinFiles()
{
    // Captureless lambdas so the table stays a plain list of names and drawing functions.
    static const std::vector<SkinFile> files = {
        {"background2.png", [] { return Background(); }},
        {"close_n.png", [] { return CloseButton(Look::Normal); }},
        {"close_o.png", [] { return CloseButton(Look::Hover); }},
        {"close_d.png", [] { return CloseButton(Look::Pressed); }},
        {"minimized_n.png", [] { return MinimizeButton(Look::Normal); }},
        {"minimized_o.png", [] { return MinimizeButton(Look::Hover); }},
        {"minimized_d.png", [] { return MinimizeButton(Look::Pressed); }},
        {"apply_n.png", [] { return ApplyButton(Look::Normal); }},
        {"apply_o.png", [] { return ApplyButton(Look::Hover); }},
        {"apply_d.png", [] { return ApplyButton(Look::Pressed); }},
        {"apply_un.png", [] { return ApplyButton(Look::Disabled); }},
        {"mark_n.png", [] { return MarkBox(false, Look::Normal); }},
        {"mark_o.png", [] { return MarkBox(false, Look::Hover); }},
        {"mark_d.png", [] { return MarkBox(true, Look::Normal); }},
        {"mark_do.png", [] { return MarkBox(true, Look::Hover); }},
        {"mark_un.png", [] { return MarkBox(true, Look::Disabled); }},
        {"switch_OFF_n.png", [] { return Switch(false, Look::Normal); }},
        {"switch_OFF_o.png", [] { return Switch(false, Look::Hover); }},
        {"switch_ON_n.png", [] { return Switch(true, Look::Normal); }},
        {"switch_ON_o.png", [] { return Switch(true, Look::Hover); }},
        {"arrowup_n.png", [] { return Arrow(true, Look::Normal); }},
        {"arrowup_o.png", [] { return Arrow(true, Look::Hover); }},
        {"arrowup_un.png", [] { return Arrow(true, Look::Disabled); }},
        {"arrowdown_n.png", [] { return Arrow(false, Look::Normal); }},
        {"arrowdown_o.png", [] { return Arrow(false, Look::Hover); }},
        {"arrowdown_un.png", [] { return Arrow(false, Look::Disabled); }},
        {"bar_n.png", [] { return SliderBar(true); }},
        {"bar_un.png", [] { return SliderBar(false); }},
        {"barline_head_n.png", [] { return LineHead(true); }},
        {"barline_n.png", [] { return Line(true); }},
        {"barline_head_un.png", [] { return LineHead(false); }},
        {"barline_un.png", [] { return Line(false); }},
        {"barline_base_n.png", [] { return LineEnd(); }},
        {"ball_n.png", [] { return Ball(Look::Normal); }},
        {"ball_d.png", [] { return Ball(Look::Hover); }},
        {"ball_un.png", [] { return Ball(Look::Disabled); }},
        {"tray.png", [] { return TrayIcon(); }},
    };
    return files;
}

bool WriteSkin(const QString& folder, QString* failed)
{
    if (!QDir().mkpath(folder)) {
        if (failed)
            *failed = folder;
        return false;
    }
    for (const SkinFile& file : SkinFiles()) {
        const QString path = QDir(folder).filePath(file.name);
        // No text chunks and no time stamp: the same skin gives the same bytes.
        if (!Finished(file.draw()).save(path, "PNG")) {
            if (failed)
                *failed = path;
            return false;
        }
    }
    return true;
}

bool WriteAppIcons(const QString& folder, const QString& name, QString* failed)
{
    for (const int size : kAppIconSizes) {
        const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString path = apps + "/" + name + ".png";
        if (!QDir().mkpath(apps) || !Finished(AppIcon(size)).save(path, "PNG")) {
            if (failed)
                *failed = path;
            return false;
        }
    }
    return true;
}

} // namespace skin

// Qt's font database initialises fontconfig, which keeps its caches until the process ends and
// never frees them; the leak checker would fail every widget test on that alone.

namespace testsupport {

// Referenced from QtTestApp() so that this object file is linked into widget test programs.
void UseQtLeakSuppressions() {}

} // namespace testsupport

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

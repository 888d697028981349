#include "tests/gui/support/GuiTestEnv.h"

#include "core/Gbk.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <thread>

namespace tavix::test {

std::string Gbk(const QString& text) {
    return ToGbk(text);
}

} // namespace tavix::test

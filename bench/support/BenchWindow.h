#pragma once

#include "CZalvoDlg.h"

#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace zalvo {

// The main window with its file dialog answering one path.
class BenchWindow final : public CZalvoDlg {
public:
    std::u16string answer;

protected:
    std::u16string AskFilePath(bool /*open*/) override { return answer; }
};

// What the process holds resident, once the allocator has given back what it can.
inline long residentBytes() {
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace zalvo

#include <exception>
#include <iostream>
#include <new>

#include "run/program_flow.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
#if defined(__GLIBC__)
    // Tables of a megabyte or more come straight from the system and go back
    // to it when freed, so that work a stage releases (the residuals, the
    // weight passes' kept work) leaves the process's memory at once.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    // Nothing may end the process abnormally: every failure becomes exit 1.
    try {
        int rc = runProgram(argc, argv, std::cout, std::cerr);
        std::cout.flush();
        return rc;
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << "Tolvan: out of memory\n";
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "Tolvan: internal error: " << e.what() << "\n";
    } catch (...) {
        std::cout.flush();
        std::cerr << "Tolvan: internal error\n";
    }
    return 1;
}

#include <exception>
#include <iostream>
#include <new>

#include "run/program_flow.h"

int main(int argc, char** argv)
{
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

// Entry point of the tavix executable off Windows.
#include "foundation/log.h"

int main()
{
    return 0;
}

#include "ModSet.h"

ModSet& ModSet::instance()
{
    static ModSet record;
    return record;
}

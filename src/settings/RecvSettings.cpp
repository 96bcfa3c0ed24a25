#include "RecvSettings.h"

#include "Link.h"

void RecvSettings(Link&)
{
}

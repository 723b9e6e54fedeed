// Opening addresses in the registered browser, and the local referrer page.
#include "../app/drossweeper.h"

bool ShowReferrerPage(const char *)
{
    return false;
}

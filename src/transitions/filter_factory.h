// Makes the transition filters for the catalogue's filter requests.
#pragma once
#include <memory>

#include "model/transition_catalogue.h"
#include "transitions/draw_filter.h"

namespace zem {

// The filter of a request, made, described (class, type, parameters) and initialised; none
// for custom effects (their maker is installed apart) and class 0.
std::unique_ptr<TDrawFilter> MakeTransitionFilter(const TFilterRequest& request);

// Installs the maker into the catalogue (start-up); kinds it does not make go to the maker
// installed before it.
void InstallTransitionFilters();

}  // namespace zem

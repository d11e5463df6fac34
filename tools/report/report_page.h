// The report page compiled into tolvan-convert: the HTML with its style and
// the bundled script (three.js and the page's own code) already inside, split
// where the data block goes. Generated at build time (tools/report/page).
#pragma once

const char* reportPageBeforeData();
const char* reportPageAfterData();

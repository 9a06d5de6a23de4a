#pragma once
// The viewer's document: the scene lives in the view, so it holds nothing; the view is made
// for it.
class CLumexDoc {};

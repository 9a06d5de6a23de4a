#pragma once
// Menu and tool-bar command ids of the chart program's document (Overlay, Edit, Route, Track,
// Search, GPS and Web menus) and of the chart view's object creation. The menus in
// resources/menus use the same numbers.

// ---- Object creation (handled by the chart view, which calls the document) ----
constexpr int kCmdNewMark = 32800;
constexpr int kCmdNewMarkToolbar = 32804;
constexpr int kCmdNewRoute = 32789;
constexpr int kCmdDrawTrack = 33099;
constexpr int kCmdAddText = 33101;

// ---- Edit ----
constexpr int kCmdUndo = 33661;
constexpr int kCmdRedo = 33662;
constexpr int kCmdDelete = 32872;
constexpr int kCmdLock = 32871;
constexpr int kCmdHide = 32945;
constexpr int kCmdHideRoute = 32891;
constexpr int kCmdHideTrack = 32893;
constexpr int kCmdOpenFile = 32966;
constexpr int kCmdSaveObjectAs = 239;
constexpr int kCmdSyncToCloud = 33694;
constexpr int kCmdProperties = 32802;
constexpr int kCmdOffsetBy = 33655;

// ---- Files ----
constexpr int kCmdImport = 32849;
constexpr int kCmdImportNmea = 33113;
constexpr int kCmdExportAll = 32850;
constexpr int kCmdExportVisible = 32935;
constexpr int kCmdSaveOverlays = 32847;
constexpr int kCmdSaveOverlaysAs = 32848;
constexpr int kCmdSendEmail = 32919;
constexpr int kCmdSendByEmail = 32920;

// ---- Overlay ----
constexpr int kCmdIcons = 33327;
constexpr int kCmdShowAll = 33326;
constexpr int kCmdHideAll = 33325;
// Show / hide the objects of the n-th category of the global category list.
constexpr int kCmdShowCategoryFirst = 33224;
constexpr int kCmdShowCategoryLast = 33323;
constexpr int kCmdHideCategoryFirst = 33123;
constexpr int kCmdHideCategoryLast = 33223;
constexpr int kCmdShowMatching = 229;
constexpr int kCmdHideMatching = 230;
constexpr int kCmdShowRouteLabels = 32855;
constexpr int kCmdHideRouteLabels = 32861;
constexpr int kCmdShowWaypointLabels = 32856;
constexpr int kCmdHideWaypointLabels = 32862;
constexpr int kCmdDeleteHidden = 32931;
constexpr int kCmdDeleteAll = 32845;
constexpr int kCmdMarkPosition = 32881;

// ---- Maps ----
constexpr int kCmdMapList = 32780;
constexpr int kCmdShowMapOutlines = 32851;
constexpr int kCmdSyncViews = 33107;

// ---- Search ----
constexpr int kCmdFindPlace = 32903;
constexpr int kCmdLoadIndexFile = 32972;
constexpr int kCmdLoadGeoFile = 32902;
constexpr int kCmdLoadTxtFile = 32906;

// ---- GPS ----
constexpr int kCmdImportGpsMarks = 32839;
constexpr int kCmdImportGpsRoutes = 32916;
constexpr int kCmdImportGpsTracks = 32831;
constexpr int kCmdExportGpsMarks = 32915;
constexpr int kCmdExportGpsRoutes = 32840;
constexpr int kCmdExportGpsTracks = 32914;
constexpr int kCmdSendToGps = 32917;
constexpr int kCmdGotoMark = 32921;
constexpr int kCmdGotoWaypoint = 32922;
constexpr int kCmdFollowRoute = 32924;

// ---- Route ----
constexpr int kCmdRouteProperties = 32795;
constexpr int kCmdRouteLock = 32799;
constexpr int kCmdInsertWaypoint = 32885;
constexpr int kCmdAddWaypointAfter = 32796;
constexpr int kCmdAddWaypointBefore = 32797;
constexpr int kCmdDropWaypoint = 33095;
constexpr int kCmdDeleteCurrentRoute = 32793;
constexpr int kCmdSplitRoute = 33711;
constexpr int kCmdSplitJoinRoute = 33709;
constexpr int kCmdReverseRoute = 32798;
constexpr int kCmdReverseSelectedRoute = 32886;
constexpr int kCmdRenumberWaypoints = 32890;
constexpr int kCmdRouteToTrack = 33092;
constexpr int kCmdRouteProfile = 32965;
constexpr int kCmdRouteCard = 33541;
constexpr int kCmdOptimizeWalking = 33698;
constexpr int kCmdOptimizeCycling = 33699;
constexpr int kCmdOptimizeDriving = 33700;
// Its entry keeps whatever state it has.
constexpr int kCmdUnchangedEntry = 33112;

// ---- Track ----
constexpr int kCmdElevationProfile = 33109;
constexpr int kCmdAltitudeProfile = 238;
constexpr int kCmdSpeedProfile = 33110;
constexpr int kCmdHeartRateProfile = 236;
constexpr int kCmdOtherProfile = 33544;
constexpr int kCmdReducePoints = 33115;
constexpr int kCmdRemoveSpike = 33432;
constexpr int kCmdTrackToRoute = 33093;
constexpr int kCmdGpsDemo = 244;

// ---- Web ----
constexpr int kCmdWebHomePage = 33104;
constexpr int kCmdWebCloudSync = 33689;
constexpr int kCmdWebSupport = 33111;

// ---- Position formats ----
// The n-th grid file of the program's "Grids" folder.
constexpr int kCmdOtherGridsFirst = 33546;
constexpr int kCmdOtherGridsLast = 33645;

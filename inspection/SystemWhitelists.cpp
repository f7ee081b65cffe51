#include "inspection/SystemWhitelists.h"

#include <memory>
#include <unordered_set>
#include <vector>

#include "inspection/Globals.h"
#include "tessel/SystemUtility.h"

namespace velmora {

namespace {

// The entries, as relative paths under their base; letter case carries no meaning.
const wchar_t kProcess9xUnderSysDir[] = L"xxx.exe";
const wchar_t kProcessNTDevicePrefixed[] = L"winlogon.exe";  // "\??\" + SysDir + entry
const wchar_t kProcessNTComplete[] = L"\\SystemRoot\\System32\\smss.exe";
const wchar_t kProcessNTUnderWinDir[] = L"explorer.exe";
const wchar_t kModule9xUnderWinDir[] = L"EXPLORER.EXE";
const wchar_t* const kProcessNTUnderSysDir[] = {
    L"Dfssvc.exe", L"dns.exe", L"inetsrv\\inetinfo.exe", L"internat.exe", L"ismserv.exe", L"llssrv.exe",
    L"locator.exe", L"lsass.exe", L"mdm.exe", L"mmc.exe", L"msdtc.exe", L"MSTask.exe", L"ntfrs.exe", L"ntvdm.exe",
    L"regsvc.exe", L"services.exe", L"smss.exe", L"snmp.exe", L"spoolsv.exe", L"stisvc.exe", L"svchost.exe",
    L"tcpsvcs.exe", L"WBEM\\WinMgmt.exe", L"wscntfy.exe",
};
const wchar_t* const kModule9xUnderSysDir[] = {
    L"ACTXPRXY.DLL", L"ADVAPI32.DLL", L"ATL.DLL", L"AUHOOK.DLL", L"BATMETER.DLL", L"BROWSELC.DLL", L"BROWSEUI.DLL",
    L"CABINET.DLL", L"CFGMGR32.DLL", L"COMCTL32.DLL", L"COMDLG32.DLL", L"CRYPT32.DLL", L"CRYPTNET.DLL",
    L"DINPUT.DLL", L"ES.DLL", L"ESSHARED.DLL", L"ESTIER2.DLL", L"GDI32.DLL", L"HID.DLL", L"ICMP.DLL",
    L"IMAGEHLP.DLL", L"IMGUTIL.DLL", L"IMM32.DLL", L"IPHLPAPI.DLL", L"JSCRIPT.DLL", L"KERNEL32.DLL",
    L"LINKINFO.DLL", L"LOADQM.EXE", L"LZ32.DLL", L"MFC30.DLL", L"MFC42.DLL", L"MFC42LOC.DLL", L"MLANG.DLL",
    L"mmtask.tsk", L"MPR.DLL", L"MPREXE.EXE", L"MPRSERV.DLL", L"MSAFD.DLL", L"MSASN1.DLL", L"MSCOMCTL.OCX",
    L"MSGSRV32.EXE", L"MSHTML.DLL", L"MSI.DLL", L"MSIDLE.DLL", L"MSLS31.DLL", L"MSNET32.DLL", L"MSNP32.DLL",
    L"MSPP32.DLL", L"MSPWL32.DLL", L"MSSHRUI.DLL", L"MSTASK.DLL", L"MSTASK.EXE", L"MSVBVM60.DLL", L"MSVCIRT.DLL",
    L"MSVCP60.DLL", L"MSVCRT.DLL", L"MSVCRT20.DLL", L"MSVCRT40.DLL", L"MSWSOCK.DLL", L"MYDOCS.DLL",
    L"NETAPI32.DLL", L"NTDLL.DLL", L"OLE32.DLL", L"POWRPROF.DLL", L"PROGDL.DLL", L"QMGR.DLL", L"RASAPI32.DLL",
    L"RPCRT4.DLL", L"RSAENH.DLL", L"SECUR32.DLL", L"SENS.DLL", L"SENSAPI.DLL", L"SETUPAPI.DLL", L"SHDOCLC.DLL",
    L"SHDOCVW.DLL", L"SHELL32.DLL", L"SPOOL32.EXE", L"SPOOLSS.DLL", L"SSDPAPI.DLL", L"SVRAPI.DLL", L"SYSTRAY.EXE",
    L"TAPI32.DLL", L"UPNP.DLL", L"UPNPUI.DLL", L"URLMON.DLL", L"USBMON.DLL", L"USER32.DLL", L"VERSION.DLL",
    L"WEBCHECK.DLL", L"WININET.DLL", L"WINMM.DLL", L"WINSPOOL.DRV", L"WINTRUST.DLL", L"WLDAP32.DLL", L"WMI.DLL",
    L"WMICORE.DLL", L"WMIEXE.EXE", L"WS2_32.DLL", L"WS2HELP.DLL", L"WSOCK32.DLL",
};
const wchar_t* const kModuleNTEnvironment[] = {
    L"%ProgramFiles%\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.dll",
    L"%ProgramFiles%\\Common Files\\Microsoft Shared\\Speech\\sapi.cpl",
    L"%ProgramFiles%\\Common Files\\Microsoft Shared\\Web Server Extensions\\40\\bin\\fpexedll.dll",
    L"%ProgramFiles%\\Common Files\\System\\directdb.dll",
    L"%ProgramFiles%\\Common Files\\System\\OLE DB\\oledb32.dll",
    L"%ProgramFiles%\\Common Files\\System\\OLE DB\\OLEDB32R.DLL",
    L"%ProgramFiles%\\Common Files\\System\\wab32.dll", L"%ProgramFiles%\\Common Files\\System\\wab32res.dll",
};
const wchar_t* const kModuleNTUnderWinDir[] = {
    L"AppPatch\\AcGenral.DLL", L"explorer.exe",
    L"WinSxS\\x86_Microsoft.Windows.Common-Controls_6595b64144ccf1df_6.0.2600.2180_x-ww_a84f1ff9\\comctl32.dll",
    L"WinSxS\\x86_Microsoft.Windows.GdiPlus_6595b64144ccf1df_1.0.2600.2180_x-ww_522f9f82\\gdiplus.dll",
};
const wchar_t* const kModuleNTUnderSysDir[] = {
    L"inetsrv\\admexs.dll", L"inetsrv\\aqueue.dll", L"inetsrv\\COADMIN.DLL", L"inetsrv\\compfilt.dll",
    L"inetsrv\\ftpmib.dll", L"inetsrv\\ftpsvc2.dll", L"inetsrv\\gzip.dll", L"inetsrv\\httpext.dll",
    L"inetsrv\\httpmib.dll", L"inetsrv\\iisadmin.dll", L"inetsrv\\IISFECNV.DLL", L"inetsrv\\iislog.dll",
    L"inetsrv\\INFOCOMM.dll", L"inetsrv\\ISATQ.dll", L"inetsrv\\iscomlog.dll", L"inetsrv\\ISRPC.dll",
    L"inetsrv\\lonsint.dll", L"inetsrv\\mailmsg.dll", L"inetsrv\\md5filt.dll", L"inetsrv\\metadata.dll",
    L"inetsrv\\nntpfs.dll", L"inetsrv\\NntpSvc.dll", L"inetsrv\\nsepm.dll", L"inetsrv\\ntfsdrv.dll",
    L"inetsrv\\rpcref.dll", L"inetsrv\\seo.dll", L"inetsrv\\smtpadm.dll", L"inetsrv\\SMTPSVC.dll",
    L"inetsrv\\sspifilt.dll", L"inetsrv\\svcext.dll", L"inetsrv\\w3svc.dll", L"inetsrv\\wamreg.dll",
    L"wbem\\framedyn.dll", L"WBEM\\wbemcomn.dll", L"acctres.dll", L"aclui.dll", L"acsmib.dll", L"ACTIVEDS.dll",
    L"actxprxy.dll", L"ADMWPROX.DLL", L"adsiis.dll", L"adsldp.dll", L"ADSLDPC.dll", L"adsmsext.dll", L"adsnt.dll",
    L"ADVAPI32.dll", L"alrsvc.dll", L"appHelp.dll", L"ASYCFILT.DLL", L"ATL.DLL", L"AVIFIL32.DLL", L"BATMETER.DLL",
    L"browselc.dll", L"browser.dll", L"BROWSEUI.dll", L"btpagnt.dll", L"Cabinet.dll", L"cdosys.dll",
    L"CERTCLI.DLL", L"CFGMGR32.dll", L"clbcatq.dll", L"CLUSAPI.dll", L"cnbjmon.dll", L"comaddin.dll",
    L"COMCTL32.dll", L"comdlg32.dll", L"comdlg32.ocx", L"COMMTB32.dll", L"COMPSTUI.dll", L"COMRes.dll",
    L"comsvcs.dll", L"credui.dll", L"crypt32.dll", L"cryptdll.dll", L"cryptsvc.dll", L"CRYPTUI.dll", L"cscdll.dll",
    L"cscui.dll", L"DBGHELP.dll", L"DCIMAN32.dll", L"DDRAW.dll", L"ddrawex.dll", L"devenum.dll", L"devmgr.dll",
    L"DfrgRes.dll", L"dfrgsnap.dll", L"dmdskmgr.dll", L"DMDskRes.dll", L"dmserver.dll", L"dmutil.dll",
    L"DNSAPI.DLL", L"dnsrslvr.dll", L"docprop2.dll", L"dplayx.dll", L"dpnet.dll", L"DRMClien.DLL", L"dsadmin.dll",
    L"dsprop.dll", L"dssenh.dll", L"dsuiext.dll", L"dxmasf.dll", L"dxtmsft.dll", L"dxtrans.dll", L"els.dll",
    L"es.dll", L"ESENT.dll", L"eventlog.dll", L"evntagnt.dll", L"expsrv.dll", L"exstrace.dll", L"faxshell.dll",
    L"FCACHDLL.dll", L"filemgmt.dll", L"fm20.dll", L"fm20enu.dll", L"FPNWCLNT.DLL", L"GDI32.dll", L"h323.tsp",
    L"hhctrl.ocx", L"hhsetup.dll", L"hnetcfg.dll", L"hostmib.dll", L"ias.dll", L"iasacct.dll", L"iasads.dll",
    L"iashlpr.dll", L"iasnap.dll", L"iasperf.dll", L"iaspipe.dll", L"iaspolcy.dll", L"iasrad.dll", L"iassam.dll",
    L"iassdo.dll", L"iassvcs.dll", L"iasuserr.dll", L"icm32.dll", L"icmp.dll", L"igmpagnt.dll", L"IISMAP.dll",
    L"IisRTL.DLL", L"imagehlp.dll", L"imgutil.dll", L"imm32.dll", L"indicdll.dll", L"INETCOMM.dll",
    L"inetmib1.dll", L"inetpp.dll", L"inetres.dll", L"INETSLOC.dll", L"INFOADMN.dll", L"ipbootp.dll",
    L"ipconf.tsp", L"Iphlpapi.dll", L"irmon.dll", L"ismip.dll", L"ismsmtp.dll", L"jscript.dll", L"KDCSVC.dll",
    L"kerberos.dll", L"KERNEL32.dll", L"kmddsp.tsp", L"LINKINFO.DLL", L"LLSRPC.DLL", L"lmhsvc.dll", L"lmmib2.dll",
    L"loadperf.dll", L"localsec.dll", L"localspl.dll", L"logdrive.dll", L"LSASRV.dll", L"lz32.dll",
    L"mcastmib.dll", L"mfc42.dll", L"MFC42LOC.DLL", L"MFC42u.DLL", L"mlang.dll", L"mmcndmgr.dll", L"mmcshext.dll",
    L"mmefxe.ocx", L"MMFUtil.DLL", L"mmutilse.dll", L"mobsync.dll", L"modemui.dll", L"mpr.dll", L"mprapi.dll",
    L"MPRSNAP.dll", L"MSACM32.dll", L"msacm32.drv", L"msafd.dll", L"msasn1.dll", L"mscat32.dll", L"mscms.dll",
    L"MSCOMCTL.OCX", L"mscoree.dll", L"MSCTF.dll", L"MSDART.DLL", L"msdbg.dll", L"msdmo.dll", L"MSDTCLOG.dll",
    L"MSDTCPRX.dll", L"MSDTCTM.dll", L"msdxm.ocx", L"msfaxmon.dll", L"msflxgrd.ocx", L"msgina.dll", L"msgsvc.dll",
    L"mshtml.dll", L"mshtmled.dll", L"msi.dll", L"msident.dll", L"MSIDLE.DLL", L"msidntld.dll", L"MSIMG32.dll",
    L"msimtf.dll", L"msjet40.dll", L"msjetoledb40.dll", L"MSJINT40.DLL", L"msjter40.dll", L"msjtes40.dll",
    L"mslbui.dll", L"msls31.dll", L"MSOEACCT.dll", L"MSOERT2.dll", L"mspmspsv.exe", L"msprivs.dll", L"msv1_0.dll",
    L"MSVBVM60.DLL", L"MSVCIRT.dll", L"MSVCP50.dll", L"msvcp60.dll", L"MSVCR71.dll", L"msvcrt.dll", L"MSVFW32.dll",
    L"mswsock.dll", L"mswstr10.dll", L"msxml3.dll", L"MTXCLU.DLL", L"mtxoci.dll", L"mycomput.dll", L"mydocs.dll",
    L"NDDEAPI.DLL", L"ndptsp.tsp", L"netapi32.dll", L"netcfgx.dll", L"netlogon.dll", L"netman.dll", L"netrap.dll",
    L"NETSHELL.dll", L"NETUI0.DLL", L"NETUI1.DLL", L"ntdll.dll", L"NTDSA.DLL", L"NTDSAPI.dll", L"NTDSATQ.DLL",
    L"ntdsmsg.dll", L"ntlanman.dll", L"NTLSAPI.DLL", L"NTMARTA.DLL", L"NTMSAPI.dll", L"NTMSDBA.dll",
    L"ntmsmgr.dll", L"ntmssvc.dll", L"ntshrui.dll", L"OAKLEY.DLL", L"ole32.dll", L"OLEAUT32.dll", L"ospfagnt.dll",
    L"pdh.dll", L"pdm.dll", L"perfos.dll", L"pjlmon.dll", L"plugin.ocx", L"polagent.dll", L"POWRPROF.DLL",
    L"PROFMAP.DLL", L"psapi.dll", L"psbase.dll", L"PSTOREC.DLL", L"quartz.dll", L"query.dll", L"rasadhlp.dll",
    L"rasapi32.dll", L"raschap.dll", L"RASDLG.dll", L"rasman.dll", L"rasmans.dll", L"rasppp.dll", L"RASSAPI.dll",
    L"RASSFM.dll", L"rastapi.dll", L"rastls.dll", L"rasuser.dll", L"regapi.dll", L"RESUTILS.dll", L"RICHED20.dll",
    L"riched32.dll", L"ripagnt.dll", L"rnr20.dll", L"RPCRT4.dll", L"rpcss.dll", L"rsabase.dll", L"rsaenh.dll",
    L"rtipxmib.dll", L"RTRFILTR.dll", L"rtutils.dll", L"RWNH.dll", L"samlib.dll", L"SAMSRV.DLL", L"scecli.dll",
    L"SCESRV.DLL", L"schannel.dll", L"scrrun.dll", L"seclogon.dll", L"secur32.dll", L"security.dll", L"sens.dll",
    L"sensapi.dll", L"serwvdrv.dll", L"setupapi.dll", L"SFC.DLL", L"sfcfiles.dll", L"SFMAPI.dll", L"shdoclc.dll",
    L"SHDOCVW.dll", L"SHELL32.dll", L"SHFOLDER.DLL", L"shim.dll", L"ShimEng.dll", L"SHLWAPI.dll", L"shsvcs.dll",
    L"simptcp.dll", L"smlogcfg.dll", L"SMTPAPI.dll", L"snmpapi.dll", L"snmpmib.dll", L"SPOOLSS.DLL",
    L"spoolsv.exe", L"Srvsvc.dll", L"STAXMEM.dll", L"STI.dll", L"stobject.dll", L"SXS.DLL", L"TABCTL32.ocx",
    L"tapi32.dll", L"tapisrv.dll", L"tcpmon.dll", L"trkwks.dll", L"TXFAUX.DLL", L"umdmxfrm.dll", L"UMPNPMGR.DLL",
    L"unimdm.tsp", L"unimdmat.dll", L"uniplat.dll", L"urlmon.dll", L"usbmon.dll", L"USER32.dll", L"userenv.dll",
    L"usp10.dll", L"utildll.dll", L"uxtheme.dll", L"VBAJET32.DLL", L"version.dll", L"vmhelper.dll", L"wdigest.dll",
    L"wdmaud.drv", L"webcheck.dll", L"win32spl.dll", L"WINHTTP.dll", L"wininet.dll", L"WINMM.dll", L"winrnr.dll",
    L"WINSCARD.DLL", L"winspool.drv", L"WINSTA.dll", L"wintrust.dll", L"wkssvc.dll", L"WLDAP32.dll",
    L"WlNotify.dll", L"WMASF.DLL", L"WMI.dll", L"wmicore.dll", L"wmidx.dll", L"wmnetmgr.dll", L"wmp.dll",
    L"wmploc.dll", L"wmvcore.dll", L"ws2_32.dll", L"ws2help.dll", L"wscui.cpl", L"wshirda.dll", L"wshnetbs.dll",
    L"wshtcpip.dll", L"WSOCK32.dll", L"wtsapi32.dll", L"wzcdlg.dll", L"WZCSAPI.DLL", L"xactsrv.dll",
    L"XOLEHLP.dll", L"XPOB2RES.DLL", L"xpsp2res.dll",
};

std::wstring Lower(const std::wstring& s) { return tessel::SystemUtility::Lower(s); }

using Reading = std::wstring (*)(const std::wstring&);

// A path as the caller's reading gives it, lower-cased.
std::wstring Comparable(const std::wstring& path, Reading reading) { return Lower(reading ? reading(path) : path); }

// The fixed candidates of one list, lower-cased, for one pair of folders and one reading. The
// folders are written once by the start-up; the sets are rebuilt only when they differ from the
// last ones.
struct Candidates {
    std::wstring winDir, sysDir;
    std::unordered_set<std::wstring> set;
};

// Every fixed entry of one list as the path it names under the given folders.
template <class Visit>
void ForEachFixedEntry(Whitelist list, const std::wstring& winDir, const std::wstring& sysDir, Visit&& visit) {
    const auto under = [&](const std::wstring& base, const auto& entries) {
        for (const wchar_t* e : entries) visit(base + e);
    };
    switch (list) {
        case Whitelist::Process9x:
            visit(sysDir + kProcess9xUnderSysDir);
            break;
        case Whitelist::ProcessNT:
            visit(L"\\??\\" + sysDir + kProcessNTDevicePrefixed);
            visit(kProcessNTComplete);
            visit(winDir + kProcessNTUnderWinDir);
            under(sysDir, kProcessNTUnderSysDir);
            break;
        case Whitelist::Module9x:
            visit(winDir + kModule9xUnderWinDir);
            under(sysDir, kModule9xUnderSysDir);
            break;
        case Whitelist::ModuleNT:
            under(winDir, kModuleNTUnderWinDir);
            under(sysDir, kModuleNTUnderSysDir);
            break;
    }
}

std::unordered_set<std::wstring> Build(Whitelist list, const std::wstring& winDir, const std::wstring& sysDir,
                                       Reading reading) {
    std::unordered_set<std::wstring> set;
    ForEachFixedEntry(list, winDir, sysDir, [&](const std::wstring& path) { set.insert(Comparable(path, reading)); });
    return set;
}

const std::unordered_set<std::wstring>& FixedCandidates(Whitelist list, const SystemFolders& folders) {
    // One cache for the names as given and one for a reading: the inventory and the disabling
    // each keep theirs.
    static Candidates cache[4][2];
    Candidates& c = cache[static_cast<int>(list)][folders.reading ? 1 : 0];
    if (c.set.empty() || c.winDir != folders.winDir || c.sysDir != folders.sysDir) {
        c.set = Build(list, folders.winDir, folders.sysDir, folders.reading);
        c.winDir = folders.winDir;
        c.sysDir = folders.sysDir;
    }
    return c.set;
}

// The environment entries follow the expansion at every call. Only the variable at their
// start changes with it, so an entry whose fixed file-name tail the path does not end in
// cannot match, and needs no expansion.
bool MatchesEnvironmentEntry(const std::wstring& lowered, const SystemFolders& folders) {
    for (const wchar_t* e : kModuleNTEnvironment) {
        const std::wstring entry = e;
        const std::wstring tail = Lower(entry.substr(entry.find_last_of(L'\\')));
        if (lowered.size() < tail.size() || lowered.compare(lowered.size() - tail.size(), tail.size(), tail) != 0)
            continue;
        if (Comparable(folders.expand(entry), folders.reading) == lowered) return true;
    }
    return false;
}

}  // namespace

SystemFolders RunningSystemFolders(std::wstring (*reading)(const std::wstring&)) {
    return {WinDir, SysDir, [](const std::wstring& t) { return tessel::SystemUtility::Instance().ExpandEnvironment(t); },
            reading};
}

bool IsOnWhitelist(Whitelist list, const std::wstring& path, const SystemFolders& folders) {
    if (path.empty()) return false;
    const std::wstring lowered = Comparable(path, folders.reading);
    if (FixedCandidates(list, folders).count(lowered)) return true;
    return list == Whitelist::ModuleNT && MatchesEnvironmentEntry(lowered, folders);
}

std::vector<std::wstring> WhitelistEntries(Whitelist list, const SystemFolders& folders) {
    std::vector<std::wstring> entries;
    ForEachFixedEntry(list, folders.winDir, folders.sysDir, [&](const std::wstring& path) { entries.push_back(path); });
    if (list == Whitelist::ModuleNT)
        for (const wchar_t* e : kModuleNTEnvironment) entries.push_back(folders.expand(e));
    return entries;
}

std::size_t WhitelistSize(Whitelist list) {
    switch (list) {
        case Whitelist::Process9x: return 1;
        case Whitelist::ProcessNT: return 3 + std::size(kProcessNTUnderSysDir);
        case Whitelist::Module9x: return 1 + std::size(kModule9xUnderSysDir);
        case Whitelist::ModuleNT:
            return std::size(kModuleNTEnvironment) + std::size(kModuleNTUnderWinDir) + std::size(kModuleNTUnderSysDir);
    }
    return 0;
}

bool IsSystemProcess9x(const std::wstring& path) { return IsOnWhitelist(Whitelist::Process9x, path, RunningSystemFolders()); }
bool IsSystemProcessNT(const std::wstring& path) { return IsOnWhitelist(Whitelist::ProcessNT, path, RunningSystemFolders()); }
bool IsSystemModule9x(const std::wstring& path) { return IsOnWhitelist(Whitelist::Module9x, path, RunningSystemFolders()); }
bool IsSystemModuleNT(const std::wstring& path) { return IsOnWhitelist(Whitelist::ModuleNT, path, RunningSystemFolders()); }

}  // namespace velmora

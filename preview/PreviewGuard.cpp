#include "preview/PreviewGuard.h"

#include "files/SafeFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QWebEngineUrlRequestInfo>

void LocalResourceGuard::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const QUrl url = info.requestUrl();
    if (url.isLocalFile() && !LocalRequestAllowed(url.toLocalFile(), info.resourceType()))
        info.block(true);
}

bool LocalRequestAllowed(const QString &path, QWebEngineUrlRequestInfo::ResourceType type)
{
    using Info = QWebEngineUrlRequestInfo;
    // Checked first: opening a pipe or device would wait for good.
    if (!IsRegularFile(path))
        return false;
    switch (type) {
    case Info::ResourceTypeMainFrame:
    case Info::ResourceTypeImage:
    case Info::ResourceTypeMedia:
    case Info::ResourceTypeFontResource:
    case Info::ResourceTypeFavicon:
        return true;
    // A page may read what it runs or applies: only files made to be run or applied.
    case Info::ResourceTypeScript:
        return path.endsWith(QLatin1String(".js"), Qt::CaseInsensitive) ||
               path.endsWith(QLatin1String(".mjs"), Qt::CaseInsensitive);
    case Info::ResourceTypeStylesheet:
        return path.endsWith(QLatin1String(".css"), Qt::CaseInsensitive);
    // Requests (XMLHttpRequest, fetch), frames, objects, workers and the rest hand a
    // file's content to a script.
    default:
        return false;
    }
}

bool FrameMayLoad(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("about") ||
           scheme == QLatin1String("data");
}

namespace {

// Shared by both scripts below: whether something of a link is drawn at a point. Runs in
// the isolated world, where the page cannot replace what it calls.
const char *kVisibilityRules = R"JS(
var LINK='a[href],area[href]';
function colourShows(c){
  if(!c||c==='transparent')return false;
  var m=/rgba?\(([^)]*)\)/.exec(c);if(!m)return true;
  var p=m[1].split(/[\s,\/]+/).filter(Boolean);
  return p.length<4||parseFloat(p[3])>0.1;
}
function within(r,x,y){return r.width>0&&r.height>0&&x>=r.left&&x<=r.right&&y>=r.top&&y<=r.bottom;}
function parentOf(n){return n.parentElement||(n.parentNode&&n.parentNode.host)||null;}
function drawn(n){
  for(var e=n;e;e=parentOf(e)){
    var s=getComputedStyle(e);
    if(s.display==='none'||parseFloat(s.opacity)<0.1)return false;
  }
  return getComputedStyle(n).visibility==='visible';
}
var PICTURE=/^(img|svg|picture|video|canvas|object|embed|input|button|select|textarea|iframe|area)$/i;
function paintsItself(n,x,y){
  var s=getComputedStyle(n);
  if(!within(n.getBoundingClientRect(),x,y))return false;
  if(PICTURE.test(n.tagName)||n instanceof SVGElement)return true;
  if(s.backgroundImage!=='none'||colourShows(s.backgroundColor))return true;
  if(!colourShows(s.color)||!colourShows(s.webkitTextFillColor||s.color))return false;
  var r=document.createRange();
  for(var t=n.firstChild;t;t=t.nextSibling){
    if(t.nodeType!==3||!t.data.trim())continue;
    r.selectNodeContents(t);var rs=r.getClientRects();
    for(var i=0;i<rs.length;i++)if(within(rs[i],x,y))return true;
  }
  return false;
}
function linkDrawnAt(x,y){
  var e=document.elementFromPoint(x,y);
  var a=e&&e.closest?e.closest(LINK):null;
  if(!a||!drawn(e))return null;
  var painted=false;
  for(var n=e;n&&!painted;n=n===a?null:parentOf(n))painted=drawn(n)&&paintsItself(n,x,y);
  if(!painted)return null;
  var all=document.querySelectorAll('*');
  for(var i=0;i<all.length;i++){
    var c=all[i];
    if(c.contains(e)||a.contains(c)||getComputedStyle(c).pointerEvents!=='none')continue;
    if(drawn(c)&&paintsItself(c,x,y))return null;
  }
  return a;
}
function address(a){
  var h=a.href;
  if(typeof h==='string')return h;
  return h&&h.baseVal?new URL(h.baseVal,document.baseURI).href:'';
}
)JS";

} // namespace

QString LinkQueryScript(bool atPoint, double x, double y)
{
    const QString query =
        atPoint ? QStringLiteral("var a=linkDrawnAt(%1,%2);return a?address(a):'';").arg(x).arg(y)
                : QStringLiteral(
                      "var f=document.activeElement,a=f&&f.closest?f.closest(LINK):null;"
                      "var u=window.quilldownUserFocus?window.quilldownUserFocus():null;"
                      "if(!a||!u||!(u===a||a.contains(u)||u.contains(a)))return '';"
                      "var rs=a.getClientRects(),w=innerWidth,h=innerHeight;"
                      "for(var i=0;i<rs.length;i++){var r=rs[i];"
                      "var l=Math.max(r.left,0),t=Math.max(r.top,0),R=Math.min(r.right,w),B=Math.min(r.bottom,h);"
                      "if(R<=l||B<=t)continue;"
                      "if(linkDrawnAt((l+R)/2,(t+B)/2)===a)return address(a);}"
                      "return '';");
    return QStringLiteral("(function(){") + QString::fromLatin1(kVisibilityRules) + query + QStringLiteral("})()");
}

QString UserFocusScript()
{
    // The user moves the focus with a trusted Tab or press: where the focus is once that
    // input has been handled is theirs, unless it moved more than once meanwhile (a page
    // script moved it again). A move by the pointer also comes with the capabilities of
    // its device, which a script's focus() never has; any other focus a script moves, or
    // a blur, forgets the user's.
    return QStringLiteral("(function(){var user=null,move=null;"
                          "function settle(m){if(move!==m)return;move=null;"
                          "if(!m.tainted)user=document.activeElement;}"
                          "function input(e){if(!e.isTrusted||(e.type==='keydown'&&e.key!=='Tab'))return;"
                          "var m={moves:0,tainted:false};move=m;setTimeout(function(){settle(m);},0);}"
                          "window.addEventListener('keydown',input,true);"
                          "window.addEventListener('mousedown',input,true);"
                          "document.addEventListener('focusin',function(e){"
                          "if(e.isTrusted&&e.sourceCapabilities){user=e.target;return;}"
                          "if(move&&++move.moves===1)return;"
                          "if(move)move.tainted=true;user=null;},true);"
                          "document.addEventListener('focusout',function(e){"
                          "if(!move&&e.target===user)user=null;},true);"
                          "window.quilldownUserFocus=function(){if(move)settle(move);return user;};})()");
}

QString BlockedByPageNote()
{
    return QStringLiteral("Blocked a link the page opened by itself.");
}

QString BlockedProgramNote(const QString &path)
{
    // The name is shown on one line, with what could break or reverse it made visible.
    QString name = QFileInfo(path).fileName();
    for (QChar &c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = u'?';
    return QStringLiteral("Did not open '%1': launchers and programs are not opened from the preview.").arg(name);
}

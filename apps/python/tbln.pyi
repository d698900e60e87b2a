# Type stubs of the tbln module, for type checkers (mypy --strict). Lengths are points
# (1/72 inch) unless a name says otherwise; rows and columns are sheet numbers from 1.
import builtins
import os
from types import SimpleNamespace
from typing import Any, Callable, ClassVar, Generic, Iterator, TypeVar, overload

__version__: str
DRAWING_MARGIN_POINTS: float
"""The blank border in points around the range in a picture of a table (Table.to_svg):
the range's top-left corner lies that far right of and below the picture's."""
__all__ = ["Application", "Collection", "Document", "Error", "JCell", "MyCell", "MyCellArray",
           "MyImage", "MyImageArray", "MyShape", "MyShapeArray", "Segment", "Table", "TagPos",
           "TagPosArray", "WordLine", "WordLineArray", "read_document", "read_range", "ui_names",
           "update_range", "__version__",
           "DRAWING_MARGIN_POINTS"]

_StrPath = str | os.PathLike[str]

class RuntimeError(builtins.RuntimeError):
    number: int
    description: str

class Error(Exception):
    messages: list[tuple[str, str]]

class MyCell:
    _fields: ClassVar[tuple[str, ...]]
    row: int
    col: int
    rowHeight: float
    colWidth: float
    charNum: float
    mergedRowHeight: float
    mergedColWidth: float
    mergedCharNum: float
    deltaX: float
    deltaY: float
    Value: str
    FontName: str
    fontsize: float
    fontOrient: float
    fontBold: bool
    fontItalic: bool
    fontUnderline: bool
    fontLineWeight: int
    fontColorIndex: str
    horAlign: str
    verAlign: str
    bgColor: str
    pattern: str
    isWrapCell: bool
    bdUp: int
    bdUpWeight: str
    bdUpLT: str
    bdBottom: int
    bdBottomWeight: str
    bdBottomLT: str
    bdLeft: int
    bdLeftWeight: str
    bdLeftLT: str
    bdRight: int
    bdRightWeight: str
    bdRightLT: str
    isMerged: bool
    rowTo: int
    colTo: int
    rowFrom: int
    colFrom: int
    hidden: bool
    storeDone: bool
    drawDone: bool
    def __init__(self, **fields: object) -> None: ...

class JCell:
    _fields: ClassVar[tuple[str, ...]]
    MergeCells: bool
    startRow: int
    startCol: int
    endRow: int
    endCol: int
    height: float
    width: float
    row: int
    column: int
    HorizontalAlignment: int
    VerticalAlignment: int
    text: str
    FontName: str
    fontsize: int
    fontUnderline: bool
    fontItalic: bool
    fontBold: bool
    WrapText: bool
    IsNumeric: bool
    IsEmpty: bool
    Orientation: int
    bdUp: str
    bdBottom: str
    bdLeft: str
    bdRight: str
    bgColor: str
    pattern: str
    def __init__(self, **fields: object) -> None: ...

class MyShape:
    _fields: ClassVar[tuple[str, ...]]
    top: float
    left: float
    height: float
    width: float
    slope: int
    rotation: int
    startX: float
    startY: float
    endX: float
    endY: float
    TLRow: int
    TLCol: int
    shapeType: int
    autoShapeType: int
    text: str
    fontsize: float
    FontName: str
    lineType: int
    lineWei: float
    fill: bool
    hor: int
    ver: int
    beginStyle: int
    beginSize: int
    endStyle: int
    endSize: int
    cnrRadius: float
    def __init__(self, **fields: object) -> None: ...

class MyImage:
    _fields: ClassVar[tuple[str, ...]]
    name: str
    top: float
    left: float
    height: float
    width: float
    TLRow: int
    TLCol: int
    def __init__(self, **fields: object) -> None: ...

class WordLine:
    _fields: ClassVar[tuple[str, ...]]
    text: str
    fontsize: float
    FontName: str
    x: float
    y: float
    listType: int
    listString: str
    bulletType: int
    pageNum: int
    charLen: float
    justify: bool
    bold: bool
    underline: bool
    italic: bool
    simple: bool
    newLine: bool
    linefmt: str
    actual: str
    def __init__(self, **fields: object) -> None: ...

class Segment:
    _fields: ClassVar[tuple[str, ...]]
    text: str
    font: str
    bold: bool
    italic: bool
    underline: int
    fontsize: int
    scriptstate: int
    def __init__(self, **fields: object) -> None: ...

class TagPos:
    _fields: ClassVar[tuple[str, ...]]
    tagName: str
    Value: str
    row: str
    col: str
    offsetRow: int
    offsetCol: int
    def __init__(self, **fields: object) -> None: ...

_R = TypeVar("_R")

class _RecordArray(Generic[_R]):
    @property
    def allocated(self) -> bool: ...
    @property
    def lower(self) -> int: ...
    @property
    def upper(self) -> int: ...
    @overload
    def __init__(self) -> None: ...
    @overload
    def __init__(self, lower: int, upper: int) -> None: ...
    @overload
    def __init__(self, items: list[_R], lower: int = 1) -> None: ...
    def __len__(self) -> int: ...
    def __getitem__(self, i: int) -> _R | None: ...
    def __setitem__(self, i: int, v: _R | None) -> None: ...
    def __iter__(self) -> Iterator[_R | None]: ...

class MyShapeArray(_RecordArray[MyShape]): ...
class MyImageArray(_RecordArray[MyImage]): ...
class WordLineArray(_RecordArray[WordLine]): ...
class TagPosArray(_RecordArray[TagPos]): ...

class MyCellArray:
    @property
    def allocated(self) -> bool: ...
    @property
    def rowLower(self) -> int: ...
    @property
    def rowUpper(self) -> int: ...
    @property
    def colLower(self) -> int: ...
    @property
    def colUpper(self) -> int: ...
    def __init__(self) -> None: ...
    def __getitem__(self, rc: tuple[int, int]) -> MyCell | None: ...
    def __setitem__(self, rc: tuple[int, int], v: MyCell | None) -> None: ...

class Collection:
    @property
    def Count(self) -> int: ...
    def __init__(self) -> None: ...
    def Add(self, item: str, key: str | None = None) -> None: ...
    @overload
    def Item(self, index: int) -> str: ...
    @overload
    def Item(self, key: str) -> str: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[str]: ...

class Table:
    @property
    def path(self) -> str: ...
    @property
    def sheet(self) -> str: ...
    @property
    def range(self) -> str: ...
    @property
    def first_row(self) -> int: ...
    @property
    def last_row(self) -> int: ...
    @property
    def first_col(self) -> int: ...
    @property
    def last_col(self) -> int: ...
    @property
    def total_width(self) -> float: ...
    @property
    def total_height(self) -> float: ...
    @property
    def column_widths(self) -> list[float]: ...
    @property
    def row_heights(self) -> list[float]: ...
    @property
    def hidden_columns(self) -> list[bool]: ...
    @property
    def hidden_rows(self) -> list[bool]: ...
    @property
    def merges(self) -> list[str]: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[MyCell]: ...
    def to_dict(self) -> dict[str, object]: ...
    def to_svg(
        self, scale: float = 1.0, revisions: list[tuple[int, int]] = ..., clip: bool = True
    ) -> str: ...
    def primitives(self, scale: float = 1.0) -> list[dict[str, Any]]: ...
    def __eq__(self, other: object) -> bool: ...

class Document:
    @property
    def path(self) -> str: ...
    @property
    def pages(self) -> int: ...
    @property
    def page_width(self) -> float: ...
    @property
    def page_height(self) -> float: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[WordLine]: ...
    def to_svg(self, page: int = 1, scale: float = 1.0) -> str: ...

def read_range(path: _StrPath, sheet: str | None = None, cells: str = "A1:H20", *,
               progress: Callable[[float], object] | None = None) -> Table: ...
def update_range(path: _StrPath, sheet: str | None, cells: str, *,
                 progress: Callable[[float], object] | None = None) -> Table: ...
def read_document(path: _StrPath) -> Document: ...
def ui_names() -> list[str]: ...

# The entry points return a namespace holding "result" and every by-reference argument.
class Application:
    @property
    def root(self) -> str: ...
    @property
    def ui(self) -> str: ...
    reader_timeout: float
    @property
    def messages(self) -> list[tuple[str, str]]: ...
    def __init__(self, root: str = "", ui: str = "scripted",
                 reader_timeout: float = ...) -> None: ...
    def SetTopMostWindow(self, hwnd: int = 0, Topmost: bool | int = False) -> SimpleNamespace: ...
    def BuildCell(self, dwgdgn: str = "dwg", QVPath: str = "") -> SimpleNamespace: ...
    def DeepUpdate(self, fileName0: str, sheetName0: str, startRow0: int, endRow0: int,
                   startCol0: int, endCol0: int, dwgdgn: str = "dwg") -> SimpleNamespace: ...
    def Populate(self, row10: int = 0, row20: int = 0, rown0: int = 0, col10: int = 0,
                 col20: int = 0, coln0: int = 0, templatePath0: str = "",
                 outputPath0: str = "", excelPath0: str = "", sheetName0: str = "",
                 dwgdgn: str = "dwg", QVPath: str = "") -> SimpleNamespace: ...
    def ParseWord(self) -> SimpleNamespace: ...
    def UpdateWord(self, fileName0: str) -> SimpleNamespace: ...
    def ExportDGNName(self, fileFormat0: str = "dwg") -> SimpleNamespace: ...
    def MakeBlock(self, tags0: TagPosArray | list[TagPos], fileName0: str = "",
                  sheetName0: str = "", QVPath: str = "") -> SimpleNamespace: ...
    def InsertBlock(self, tags0: TagPosArray | list[TagPos], fileName0: str = "",
                    sheetName0: str = "") -> SimpleNamespace: ...
    def InsertBlockPop(self, tags0: TagPosArray | list[TagPos], fileName0: str,
                       sheetName0: str, row: int, col: int) -> SimpleNamespace: ...
    def SetLUC(self) -> SimpleNamespace: ...
    def file_choice(self, path: str | None) -> None: ...
    def folder_choice(self, path: str | None) -> None: ...
    def click(self, control: str) -> None: ...
    def set_text(self, control: str, text: str) -> None: ...
    def pick(self, control: str, index: int) -> None: ...
    def check(self, control: str, value: int) -> None: ...
    def answer(self, answer: int) -> None: ...
    def select_cell(self, cell: str) -> None: ...
    def open_workbook(self, file: str, sheet: str = "", button: str = "btnBrowse") -> None: ...
    def range_dialog(self, file: str, sheet: str = "", range: str = "") -> None: ...
